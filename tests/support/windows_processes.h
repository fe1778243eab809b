// Processes, consoles and windows for the Windows tests, which run under Wine here.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

struct StartedProgram {
  HANDLE process = nullptr;
  DWORD id = 0;
};

// Starts commandLine in directory. With a console of its own, the program writes to
// a console as a person would see it; otherwise standard output goes to
// standardOutput, or nowhere. extraEnvironment ("NAME=value") is added to ours.
StartedProgram StartProgram(const std::string& commandLine, const std::filesystem::path& directory,
                            bool ownConsole, HANDLE standardOutput = nullptr,
                            const std::vector<std::string>& extraEnvironment = {});

// A program of this build, by its path from the folder of the running test.
std::filesystem::path BuiltProgram(const char* relativePath);

bool IsRunning(const StartedProgram& program);

// Ends the program and waits for it.
void StopProgram(StartedProgram& program);

// The rows of the program's console up to its cursor row, without trailing spaces,
// or nothing when the console cannot be read.
std::vector<std::string> ReadConsoleRows(const StartedProgram& program);

// Ends every process whose program file is named fileName, with its windows, also
// one started a moment ago that has yet to show a window.
void EndProgramsNamed(const char* fileName);

// Makes drive letter `drive` (e.g. 'M') name directory. Returns false when it
// cannot. UnmapDrive undoes it.
bool MapDrive(char drive, const std::filesystem::path& directory);
void UnmapDrive(char drive);

// A drive letter that names nothing, or 0.
char FreeDriveLetter();

// Wine run by root writes read-only files all the same, and says nothing; where it
// does, a read-only case cannot be made.
bool ReadOnlyFilesCanBeWritten(const std::filesystem::path& directory);
