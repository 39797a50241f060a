#pragma once

// Lookups over the settings and captions tables, and Translate, which gives
// every component of a window its texts and every choice list its items.
// The class holds no state: make one for a task and drop it afterwards.

#include <string>
#include <string_view>

#include <QString>

#include "common/StringFunctionsUnit.h"

class QObject;

class TTranslateForm
{
public:
    // The row numbers (as decimal text) of ControlName's choice list, in table
    // order; false when the name owns no row. Rows is emptied first.
    bool GetSettingsRows(std::string_view controlName, TStringList& rows) const;

    // The row of ItemText in ControlName's list, or -1 when no row matches.
    int FindSettingsRow(std::string_view controlName, std::string_view itemText) const;

    // Column COLUMN of each listed row; an entry that is not a row number of the table
    // is skipped, a column outside 0..3 reads as an empty cell. Values is
    // emptied first; false when it stays empty.
    bool GetSettingsColumn(const TStringList& rows, int column, TStringList& values) const;

    // The first captions row for ComponentName and, unless PropertyName is
    // blank, that property; -1 when none matches.
    int FindCaptionRow(std::string_view componentName, std::string_view propertyName) const;

    // The Value cell of a captions row ("" for -1).
    static std::string CaptionValue(int row);

    // Applies both tables to every named object below WINDOW, in creation order.
    void Translate(QObject* window) const;
};

// "description|*.a;*.b" to Qt's "description (*.a *.b)", each pattern written
// so that it matches without regard to case ("*.[mM][pP]3").
QString ConvertDialogFilter(std::string_view filter);

// Sets the named text property ("Caption", "Text", "Title", "Filter",
// "DefaultExt", in any case) of a component, mapped onto that kind of object's
// own setter. Returns false, changing nothing, when the component has none.
bool SetComponentText(QObject* component, std::string_view property, const std::string& value);
