// Helpers shared by the tests: scratch data folders and small file writers.
#ifndef MD_TESTS_TESTSUPPORT_H
#define MD_TESTS_TESTSUPPORT_H

#include <string>
#include <vector>

#include <sys/types.h>

// Makes a fresh empty folder under the system's temp folder, with the data
// tree's subfolders client/, data/ and font/, and changes into it.
std::string EnterScratchDir();

// Writes text (or bytes) to a file relative to the working directory.
void WriteFile(const std::string &path, const std::string &contents);

// Starts the platform on the scripted driver with the built-in controls only
// and the 320 x 240 frame (tests linking the scripted driver only).
void StartScriptedPlatform();

// The shipped data tree of the source checkout.
std::string DataDir();

// Path of a program of the build, given relative to the build folder
// (for example "marrowdigger-headless"): MD_BUILD_DIR of the
// environment, else the folder the tests were built in.
std::string BuildProgram(const std::string &relative);

// Starts a program of the build in a child process: args[0] is its path,
// the rest its arguments. When MD_TEST_EMULATOR is set (a cross build whose
// programs run under an emulator), its words are put in front. Standard
// output and error go to the files named, or stay shared when a name is
// empty. Returns the child's pid, or -1 when it could not be started.
pid_t StartProgram(const std::vector<std::string> &args, const std::string &out_path,
                   const std::string &err_path);

// Waits at most timeout_ms for a child; kills it (SIGKILL) when time runs
// out and sets *timed_out. Returns the wait status.
int WaitProgram(pid_t pid, int timeout_ms, bool *timed_out);

// Whole contents of a file, or "" when it cannot be read.
std::string ReadFile(const std::string &path);

// Number of random cases for a comparison test: n natively, a quarter of n
// (at least 1) under an emulator (MD_TEST_EMULATOR set), which runs them
// many times slower.
int RandomCases(int n);

#endif
