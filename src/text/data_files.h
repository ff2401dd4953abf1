// Where the program finds its data files: the language files, the
// configuration lists h_tvbox.cfg, the help page readme.htm and the pictures
// the channel pages load at run time.
//
// The working folder comes first, so a folder of one's own files (or the
// source tree's data/) wins; then the installed data folder, so the program
// started from the desktop menu, whose working folder is the home folder,
// still has its captions, pictures and help. Only regular files count: a pipe
// or a device under one of these names would block the start for ever.
#pragma once

#include <cstddef>
#include <string>

namespace tv {

// The installed data folder: $TVBOX_DATA_DIR when set (an uninstalled build
// can be pointed at a source tree's data/), otherwise the one the program was
// built for, e.g. /usr/share/tvbox.
std::string data_folder();

// The path to open for a data file: the name itself when the working folder
// holds it, else the data folder's copy; empty when neither is a regular file.
// A name with a '/' in it is a path and only checked.
std::string find_data_file(const std::string& name);

// Reads a whole regular file into `bytes`. False, with nothing read, for a
// missing file, anything that is not a regular file (never blocking on a
// pipe), or a file larger than `max_bytes`.
bool read_regular_file(const std::string& path, std::string* bytes, size_t max_bytes);

}  // namespace tv
