// Helpers shared by the tests: scratch data folders and small file writers.
#ifndef MD_TESTS_TESTSUPPORT_H
#define MD_TESTS_TESTSUPPORT_H

#include <string>

// Makes a fresh empty folder under the system's temp folder, with the data
// tree's subfolders client/, data/ and font/, and changes into it.
std::string EnterScratchDir();

// Writes text (or bytes) to a file relative to the working directory.
void WriteFile(const std::string &path, const std::string &contents);

// Starts the platform on the test seam with the built-in controls only and
// the 320 x 240 frame.
void StartScriptedPlatform();

// The shipped data tree of the source checkout.
std::string DataDir();

#endif
