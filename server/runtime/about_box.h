// The About box: icon, version line, the maker's lines, logo and OK.
#pragma once

#include <QDialog>

inline constexpr const char* kAboutTitle = "About Omron C-Series HostLink OPC DA Server";
inline constexpr const char* kAboutVersionLine = "Omron HostLink OPC DA Server - Ver. 1.1.0.0  Win32 ";

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};
