#pragma once

#include "admanager/htmlgen/AdBlockGenerator.h"

#include <string>
#include <vector>

// Writing a generated block to local files, shared by the generation dialog and
// the command line so both write the same files and report the same failures.

enum class OutputError {
    None,
    NoPages, // the result holds no page text
    Open,    // a file could not be created
    Write,   // a file was written short or did not close cleanly
};

struct OutputReport {
    OutputError error = OutputError::None;
    std::string failedPath;           // the file that failed
    std::vector<std::string> written; // every file written completely, in order

    bool Ok() const { return error == OutputError::None; }
};

// Writes page 1 to outputPath and, for a multi-page result, every page k to
// NumberedOutputPath(outputPath, k) as well. Stops at the first failure; files
// written before it stay in place. outputPath is a file-system path.
OutputReport WriteAdBlockOutput(const AdBlockResult& result, const std::string& outputPath);

// "dir/base.ext" with page k gives "dir/base_00k.ext"; the extension starts at the
// last dot of the file name.
std::string NumberedOutputPath(const std::string& outputPath, int page);

// The user's message for a failure (UTF-8); empty for None.
const char* OutputErrorMessage(OutputError error);
