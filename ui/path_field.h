#pragma once

// A read-only path field: a path too long for the field gives way in the
// middle ("/home/anna/…/Music/out"), the whole path is its tooltip, and
// while it has the focus it shows the whole path to scroll through.

#include <QLineEdit>

class TPathField : public QLineEdit
{
    Q_OBJECT

public:
    explicit TPathField(QWidget* parent = nullptr);

    // The text as the field shows it when it does not have the focus.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
};
