#pragma once

#include <QString>

// The program's desktop id (reverse DNS of the maker): the name of its desktop entry, icon and
// AppStream metainfo, so the desktop can tie windows and notifications to them.
QString AppId();
