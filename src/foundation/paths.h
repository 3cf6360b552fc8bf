#pragma once
// Taking path texts apart and testing what a path names. Paths use "/". Any thread; no state.

#include <string>

namespace folvex {

// The folder of path without a trailing "/": the text before the last "/", where the root folder stays
// "/" ("/a" gives "/"). The empty text when path holds no "/".
std::string PathDirectory(const std::string& path);

// The text after the last "/" (the whole path when it has none).
std::string PathFileName(const std::string& path);

// The path without the extension of its last part: the text before the last "." of the text after the
// last "/" (the whole path when that part has no "."; ".profile" gives the folder only).
std::string PathWithoutExtension(const std::string& path);

// The text after the last "." of the path's last part; the empty text when that part has none.
std::string PathExtension(const std::string& path);

// The path made absolute against the current folder, so a program started in another folder finds
// the same file and never reads it as an option; an absolute path and the empty text stay as they are.
std::string AbsolutePath(const std::string& path);

// 1 when path names an existing file that is not a folder, else 0.
int FileExists(const std::string& path);

// 1 when the folder path can be listed, else 0 (also for a file and for the empty text).
int DirectoryExists(const std::string& path);

} // namespace folvex
