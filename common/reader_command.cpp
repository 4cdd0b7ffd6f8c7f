// How a mail reader's command line is read; see reader_command.h.
#include "reader_command.h"

#include <vector>

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

// Only what the system itself would start from a file's name: a file without
// such an ending, planted where a prefix of the line points, is never run.
bool EndsAsProgram(const std::string& name)
{
    const size_t dot = name.find_last_of(".\\/");
    if (dot == std::string::npos || name[dot] != '.')
        return false;
    std::string ending = name.substr(dot + 1);
    for (char& c : ending)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ending == "exe" || ending == "com" || ending == "bat" || ending == "cmd";
}

// Where the program ends in an unquoted line. With blanks, the longest
// prefix ending at a blank (or the whole line) that names an existing program
// wins: a shorter one lies in a folder further up, where a planted file waits
// for exactly this reading. Failing that, the first token, when it can only
// start what it says: a bare name, which the system searches for as a
// program, or a path with a program's ending.
std::optional<size_t> ProgramEnd(const std::string& text, FileTest namesFile)
{
    const size_t firstBlank = text.find_first_of(kBlanks);
    if (firstBlank == std::string::npos)
        return text.size();
    std::vector<size_t> ends;
    for (size_t at = firstBlank; at != std::string::npos;
         at = text.find_first_of(kBlanks, text.find_first_not_of(kBlanks, at)))
        ends.push_back(at);
    ends.push_back(text.size());
    for (auto end = ends.rbegin(); end != ends.rend(); ++end) {
        const std::string candidate = text.substr(0, *end);
        if (EndsAsProgram(candidate) && namesFile(candidate))
            return *end;
    }
    const std::string first = text.substr(0, firstBlank);
    if (first.find_first_of("\\/:") == std::string::npos || EndsAsProgram(first))
        return firstBlank;
    return std::nullopt;
}

}  // namespace

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
        const std::optional<size_t> end = ProgramEnd(text, namesFile);
        if (!end)
            return {};
        program = text.substr(0, *end);
        rest = text.substr(*end);
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
