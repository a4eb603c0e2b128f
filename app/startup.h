#pragma once

// The whole life of the program: folders, browser engine, window, event loop, shutdown.
int RunProgram(int argc, char *argv[]);
