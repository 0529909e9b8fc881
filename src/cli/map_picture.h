#pragma once

// hollowmere-scan --map draws with Qt. The drawing lives in a module that the program loads
// only for --map, so that a plain scan starts without Qt's libraries. This is its entry point.

#include "scankit/file_tree.h"

#include <string>

namespace hollowmere::cli {

struct MapPicture {
    std::string path; // PNG written there
    int size = 800;   // side in points, drawn at pixel ratio 1
    bool dark = false;
    std::string sizeText; // the folder's size, shown under its name
};

// Looked up by this name in the module.
inline constexpr const char* mapPictureEntry = "hollowmere_write_map_picture";

} // namespace hollowmere::cli

// Draws the sunburst map of the tree's root through the map view, as the app shows it, on the
// canvas colour with the folder's name and size in the middle, and writes it as a PNG. Starts
// its own QApplication, offscreen unless QT_QPA_PLATFORM says otherwise. On failure returns
// false and sets `error`.
extern "C" bool hollowmere_write_map_picture(const hollowmere::FileTree& tree,
                                             const hollowmere::cli::MapPicture& picture,
                                             std::string& error);
