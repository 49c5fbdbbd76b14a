#include "admanager/htmlgen/AdBlockOutput.h"

#include "common/FileOps.h"

#include <cstdio>

namespace {

OutputError WriteOne(const std::string& path, const std::string& page) {
    FileOps::File file = FileOps::File::Open(path, FileOps::File::Mode::CreateTruncate);
    if (!file.IsOpen())
        return OutputError::Open;
    bool written = file.WriteAll(page);
    // A failed close can mean the data never reached the disk.
    bool closed = file.Close();
    return written && closed ? OutputError::None : OutputError::Write;
}

} // namespace

std::string NumberedOutputPath(const std::string& outputPath, int page) {
    std::size_t slash = outputPath.rfind('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = outputPath.rfind('.');
    std::size_t extStart = (dot == std::string::npos || dot < nameStart) ? outputPath.size() : dot;
    char number[16];
    std::snprintf(number, sizeof number, "_%03d", page);
    return outputPath.substr(0, extStart) + number + outputPath.substr(extStart);
}

OutputReport WriteAdBlockOutput(const AdBlockResult& result, const std::string& outputPath) {
    OutputReport report;
    if (!result.succeeded || result.pages.empty()) {
        report.error = OutputError::NoPages;
        return report;
    }
    auto write = [&report](const std::string& path, const std::string& page) {
        report.error = WriteOne(path, page);
        if (report.Ok())
            report.written.push_back(path);
        else
            report.failedPath = path;
        return report.Ok();
    };
    if (!write(outputPath, result.pages.front()))
        return report;
    if (result.IsMultiPage()) {
        for (std::size_t k = 0; k < result.pages.size(); ++k)
            if (!write(NumberedOutputPath(outputPath, static_cast<int>(k + 1)), result.pages[k]))
                return report;
    }
    return report;
}

const char* OutputErrorMessage(OutputError error) {
    switch (error) {
    case OutputError::None:
        return "";
    case OutputError::NoPages:
        return "HTMLの作成に失敗しました。";
    case OutputError::Open:
        return "ファイルを開けませんでした。\n■HTML出力先■の「ローカル」を確認してください。";
    case OutputError::Write:
        return "ファイルの出力に失敗しました。";
    }
    return "";
}
