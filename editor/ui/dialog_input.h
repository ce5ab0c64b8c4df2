// Input helpers shared by the editor's dialogs: the numeric test of typed text, keystroke
// filters on text boxes, and text conversions between the widgets and the document.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <string_view>

class QComboBox;
class QLineEdit;
class QWidget;

// True when the whole text (blanks around it allowed) is one number: an optional sign, digits
// with an optional fraction and exponent, or a "&H"/"&O" literal. Empty text is not numeric.
bool IsNumeric(std::string_view text);

// The item-name box keeps only A-Z, a-z, 0-9, "-", "_" and backspace; 0 drops the keystroke.
int ItemNameKeyFilter(int keyAscii);

// Runs every typed character of a text box through a filter of the NumericKeyFilter kind
// (character code in, code to keep or 0 out). Keys without a character (arrows, Delete) pass.
// Pasting and dropping text are closed, as they would go round the filter.
class KeyFilter : public QObject {
public:
    using Filter = std::function<int(int)>;
    KeyFilter(QLineEdit* box, Filter filter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Filter mFilter;
};

// Selects text in the box. A stored value that is not among the box's choices (a PLC at 4800
// baud, a port COM13) is added as a choice of its own, so that it shows and is saved as it was
// rather than turning empty. Empty text selects nothing.
void showChoice(QComboBox* box, const std::string& text);

// The widget's own enabled setting, whatever its parents' state (a disabled frame around it
// does not count).
bool ownEnabled(const QWidget* widget);

inline std::string toStd(const QString& text) { return text.toStdString(); }
inline QString toQ(const std::string& text) { return QString::fromStdString(text); }
