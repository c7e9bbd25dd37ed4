// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A threshold text box that shows when its text is not taken: a border in a
// red that stands out from the box's own background (a light or a dark
// palette alike), and the reason as its tooltip. It tells its window when its
// text is to be committed (Enter, or the keyboard leaving it), put back
// (Escape) or stepped by one count (the Up and Down arrows).
//
// A dragged line changes its box's text on every tick: the box's frame and
// background, the costly part of its paint, are drawn once per look (size,
// state, palette) and then copied, so that a repaint costs its text alone.

#include <QLineEdit>
#include <QString>

class ThresholdBox : public QLineEdit {
    Q_OBJECT
public:
    explicit ThresholdBox(QWidget* parent = nullptr);
    explicit ThresholdBox(const QString& text, QWidget* parent = nullptr);
    // Empty: the text is taken.
    void set_problem(const QString& problem);
    const QString& problem() const { return problem_; }
    // The border's colour over a background.
    static QColor border_color(QColor background);

signals:
    void commit_asked();
    void revert_asked();
    void step_asked(int counts);

protected:
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    QString problem_;
};
