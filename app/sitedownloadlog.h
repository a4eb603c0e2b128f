#pragma once

class QWebEngineProfile;
class TSiteDownloads;

// Saves the files the site offers for download (sitedownloads.h) and tells of each in the
// activity log: when it starts, and its path when saved or the reason when it failed.
TSiteDownloads *LogSiteDownloads(QWebEngineProfile *profile);
