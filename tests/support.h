// Shared test helpers: a private working directory per test, a host callback
// that records every message line, and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "zedid.h"

// Creates a fresh directory, makes it the current directory for the test's
// lifetime (the library writes "ZEDID.TMP" there), then removes it.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// A host callback that appends each message line to Messages().
int ZEDID_CALL RecordMessage(const char* text);
std::vector<std::string>& Messages();
// The recorded lines, which are then forgotten.
std::vector<std::string> TakeMessages();

void WriteBytes(const std::string& name, const std::string& bytes);
std::string ReadBytes(const std::string& name);
bool FileExists(const std::string& name);

// Calls the export as a host does, recording messages.
int CallExport(const char* base, const char* output, const char* second = nullptr);

// Writes BASE.ONL with TEXT and calls the export with BASE and OUTPUT.
int FormatDesign(const std::string& text, const std::string& base = "design",
                 const std::string& output = "design.asc");
