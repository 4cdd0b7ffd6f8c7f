// How a mail reader's command line is read; see reader_command.h.
#include "reader_command.h"

namespace {

// Blanks as the system's own reading of a command line knows them.
constexpr const char* kBlanks = " \t";

std::optional<std::string> FolderOf(const std::string& program)
{
    const size_t separator = program.find_last_of("\\/");
    if (separator == std::string::npos || separator == 0)
        return std::nullopt;
    // "C:" alone would be the drive's current folder, not its root.
    if (program[separator - 1] == ':')
        return program.substr(0, separator + 1);
    return program.substr(0, separator);
}

} // namespace

ReaderCommand ReadReaderCommand(const std::string& line, FileTest namesFile)
{
    const size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return {};
    const std::string text = line.substr(first, line.find_last_not_of(kBlanks) + 1 - first);
    std::string program;
    std::string rest;
    if (text[0] == '"') {
        // An unclosed quotation mark runs to the end of the line.
        const size_t close = text.find('"', 1);
        program = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos)
            rest = text.substr(close + 1);
    } else {
        const size_t blank = text.find_first_of(kBlanks);
        if (blank == std::string::npos || namesFile(text)) {
            program = text;
        } else {
            program = text.substr(0, blank);
            rest = text.substr(blank);
        }
    }
    // No file name holds a quotation mark, and one inside the program would
    // end its quoted form early and let the rest name another file.
    if (program.empty() || program.find('"') != std::string::npos)
        return {};
    return {program, '"' + program + '"' + rest, FolderOf(program)};
}

std::string ReaderFieldText(const std::string& path)
{
    if (path.find_first_of(kBlanks) == std::string::npos)
        return path;
    return '"' + path + '"';
}
