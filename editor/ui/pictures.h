// The editor's pictures, drawn in code: the tree's small pictures, the list's large pictures
// keyed by data type, and the toolbar's pictures.
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace pictures {

// Small pictures of TreeView1 and of ListView1's small views:
// "plc", "serial", "branch", "config", "item", "main".
QIcon treePicture(const QString& key);

// Large pictures of ListView1, keyed by data type description ("signed 16 bit", "boolean",
// "string" ...) and "plc". An unknown key gets a plain generic picture.
QIcon listPicture(const QString& key);

// Toolbar pictures: "new", "open", "save", "close", "plc", "branch", "item", "copy", "cut",
// "paste", "delete", "icon", "smallicon", "list", "report", "find", "pastename",
// "pastecomment", "exit".
QIcon toolbarPicture(const QString& key);

QStringList treePictureKeys();
QStringList listPictureKeys();
QStringList toolbarPictureKeys();

}  // namespace pictures
