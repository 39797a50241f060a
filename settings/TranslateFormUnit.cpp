#include "settings/TranslateFormUnit.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMetaProperty>
#include <QObject>
#include <QStringList>

#include "settings/CaptionsTable.h"
#include "settings/SettingsTable.h"

namespace {

bool IsBlank(std::string_view text)
{
    return TrimString(text).empty();
}

// A decimal row number of the table, or -1.
int ParseRowNumber(const std::string& text)
{
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const int row = std::stoi(text);
    return row < SettingsRowCount ? row : -1;
}

QString CaseInsensitivePattern(const QString& pattern)
{
    QString result;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            result += QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper());
        else
            result += c;
    }
    return result;
}

// Writes a Qt property of that name when the object declares a writable one.
bool WriteDeclaredProperty(QObject* object, const char* name, const QVariant& value)
{
    const int index = object->metaObject()->indexOfProperty(name);
    if (index < 0)
        return false;
    QMetaProperty property = object->metaObject()->property(index);
    return property.isWritable() && property.write(object, value);
}

bool SetCaption(QObject* object, const QString& value)
{
    if (auto* action = qobject_cast<QAction*>(object)) {
        // "-" makes the item a separator line; a separator carries no text,
        // which some menu styles would draw beside the line.
        const bool separator = value == QLatin1String("-");
        action->setSeparator(separator);
        action->setText(separator ? QString() : value);
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(object)) {
        label->setText(value);
        return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        button->setText(value);
        return true;
    }
    if (auto* box = qobject_cast<QGroupBox*>(object)) {
        box->setTitle(value);
        return true;
    }
    if (auto* menu = qobject_cast<QMenu*>(object)) {
        menu->setTitle(value);
        return true;
    }
    return WriteDeclaredProperty(object, "caption", value);
}

bool SetTitle(QObject* object, const QString& value)
{
    if (auto* dialog = qobject_cast<QDialog*>(object)) {
        dialog->setWindowTitle(value);
        return true;
    }
    return WriteDeclaredProperty(object, "title", value);
}

bool SetFilter(QObject* object, const QString& qtFilter)
{
    if (auto* dialog = qobject_cast<QFileDialog*>(object)) {
        dialog->setNameFilter(qtFilter);
        return true;
    }
    return WriteDeclaredProperty(object, "filter", qtFilter);
}

bool SetDefaultExt(QObject* object, const QString& value)
{
    if (auto* dialog = qobject_cast<QFileDialog*>(object)) {
        dialog->setDefaultSuffix(value);
        return true;
    }
    return WriteDeclaredProperty(object, "defaultExt", value);
}

void TranslateComponent(const TTranslateForm& form, QObject* component)
{
    const std::string name = component->objectName().toStdString();

    int row = form.FindCaptionRow(name, "");
    if (row >= 0) {
        const std::string property = AsciiLowerCase(CaptionsTable[size_t(row)].PropertyName);
        if (property == "caption" || property == "text" || property == "title")
            SetComponentText(component, property, CaptionsTable[size_t(row)].Value);
    }
    row = form.FindCaptionRow(name, "Filter");
    if (row >= 0)
        SetComponentText(component, "Filter", CaptionsTable[size_t(row)].Value);
    row = form.FindCaptionRow(name, "DefaultExt");
    if (row >= 0)
        SetComponentText(component, "DefaultExt", CaptionsTable[size_t(row)].Value);

    if (auto* list = qobject_cast<QComboBox*>(component)) {
        TStringList rows;
        TStringList items;
        if (form.GetSettingsRows(name, rows) && form.GetSettingsColumn(rows, 1, items)) {
            QStringList texts;
            for (const std::string& item : items)
                texts << QString::fromStdString(item);
            list->clear();
            list->addItems(texts);
            list->setCurrentIndex(0);
        }
    }
}

void TranslateTree(const TTranslateForm& form, QObject* parent)
{
    // children() keeps creation order; a container comes before its children.
    for (QObject* child : parent->children()) {
        if (!child->objectName().isEmpty())
            TranslateComponent(form, child);
        TranslateTree(form, child);
    }
}

}  // namespace

bool TTranslateForm::GetSettingsRows(std::string_view controlName, TStringList& rows) const
{
    rows.clear();
    for (int r = 0; r < SettingsRowCount; ++r) {
        if (SameTextAscii(SettingsTable[size_t(r)].ControlName, controlName))
            rows.push_back(std::to_string(r));
    }
    return !rows.empty();
}

int TTranslateForm::FindSettingsRow(std::string_view controlName, std::string_view itemText) const
{
    for (int r = 0; r < SettingsRowCount; ++r) {
        const TSettingsRow& row = SettingsTable[size_t(r)];
        if (SameTextAscii(row.ControlName, controlName) && SameTextAscii(row.ItemText, itemText))
            return r;
    }
    return -1;
}

bool TTranslateForm::GetSettingsColumn(const TStringList& rows, int column,
                                       TStringList& values) const
{
    values.clear();
    for (const std::string& entry : rows) {
        const int row = ParseRowNumber(entry);
        if (row >= 0)
            values.emplace_back(SettingsCell(row, column));
    }
    return !values.empty();
}

int TTranslateForm::FindCaptionRow(std::string_view componentName,
                                   std::string_view propertyName) const
{
    const bool anyProperty = IsBlank(propertyName);
    for (int r = 0; r < CaptionRowCount; ++r) {
        const TCaptionRow& row = CaptionsTable[size_t(r)];
        if (SameTextAscii(row.ComponentName, componentName) &&
            (anyProperty || SameTextAscii(row.PropertyName, propertyName)))
            return r;
    }
    return -1;
}

std::string TTranslateForm::CaptionValue(int row)
{
    return row >= 0 && row < CaptionRowCount ? CaptionsTable[size_t(row)].Value : "";
}

void TTranslateForm::Translate(QObject* window) const
{
    if (window)
        TranslateTree(*this, window);
}

QString ConvertDialogFilter(std::string_view filter)
{
    const QStringList parts =
        QString::fromUtf8(filter.data(), qsizetype(filter.size())).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << CaseInsensitivePattern(p.trimmed());
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

bool SetComponentText(QObject* component, std::string_view property, const std::string& value)
{
    if (!component)
        return false;
    const std::string which = AsciiLowerCase(property);
    const QString text = QString::fromStdString(value);
    if (which == "caption")
        return SetCaption(component, text);
    if (which == "text")
        return WriteDeclaredProperty(component, "plainText", text) ||
               WriteDeclaredProperty(component, "text", text);
    if (which == "title")
        return SetTitle(component, text);
    if (which == "filter")
        return SetFilter(component, ConvertDialogFilter(value));
    if (which == "defaultext")
        return SetDefaultExt(component, text);
    return false;
}
