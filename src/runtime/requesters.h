#pragma once
// The standard dialogs other than the message box: text input, open file, save file, choose folder.
// Interfaces only (no Qt), so computing code can ask through them; the window layer installs the real
// ones in effects(), tests install scripted fakes. GUI thread.

#include <string>
#include <vector>

namespace folvex {

// An open-file or save-file dialog. patterns is "description|*.a;*.b" with further
// "|description|patterns" pairs allowed; patternIndex (from 0) selects the pair shown first.
// defaultFile is a bare name or a path: its folder (if any) is the folder shown first.
struct FileRequest
{
    std::string title;
    std::string defaultFile;
    std::string patterns;
    int patternIndex = 0;
    bool multiple = false; // open-file only: more than one file may be chosen
};

class TextInputRequester
{
public:
    virtual ~TextInputRequester() = default;

    // Asks for one line of text; Cancel (or Esc, or the close box) gives the empty text.
    virtual std::string
    askText(const std::string& title, const std::string& prompt, const std::string& initial) = 0;
};

class FileRequester
{
public:
    virtual ~FileRequester() = default;

    // The chosen files as full paths in the order the dialog gives them; empty when cancelled.
    virtual std::vector<std::string> openFiles(const FileRequest& request) = 0;

    // The chosen full path, the empty text when cancelled. Never asks whether to overwrite: callers
    // ask that themselves.
    virtual std::string saveFile(const FileRequest& request) = 0;

    // The chosen folder as a full path, the empty text when cancelled.
    virtual std::string chooseFolder(const std::string& title, const std::string& startFolder) = 0;
};

// One entry of a pattern list: the description and its patterns ("*.a", "*.b").
struct FilePattern
{
    std::string description;
    std::vector<std::string> patterns;
};

// Splits "desc|*.a;*.b|desc2|*.c" into its entries; a trailing description without patterns gets
// "*" so that it still shows every file.
std::vector<FilePattern> parseFilePatterns(const std::string& patterns);

// The open-file dialog through the installed requester, read one file at a time: the first chosen
// path ("" when cancelled); the further ones follow from nextSelectedFile(). GUI thread.
std::string openFileRequester(const FileRequest& request);

// The next path chosen in the last openFileRequester(), the empty text when there are no more.
std::string nextSelectedFile();

} // namespace folvex
