// One row of the main window's list, as the objects' AddToListView operations make it.
#pragma once

#include <string>
#include <vector>

struct ListRow {
    std::string key;                 // the object's key, also its tree node's key
    std::vector<std::string> texts;  // texts[0] is the row text, then one per further column
    std::string largePicture;        // key into the large image list
    std::string smallPicture;        // key into the small image list
};
