// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ThresholdBox.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QApplication>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>

#include <algorithm>
#include <utility>
#include <vector>

#include "monitor/Palette.h"

namespace {

// The application's style, but a line edit's panel is drawn from a pixmap
// made once per size, state and palette.
class CachedPanelStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
        if (element != PE_PanelLineEdit || !frame || option->rect.isEmpty())
            return QProxyStyle::drawPrimitive(element, option, painter, widget);
        const Look look{option->rect.size(), static_cast<int>(option->state), frame->lineWidth,
                        option->palette.cacheKey(),
                        painter->device() ? painter->device()->devicePixelRatio() : 1.0, option->direction};
        auto kept = std::find_if(panels_.begin(), panels_.end(), [&](const auto& p) { return p.first == look; });
        if (kept == panels_.end()) {
            // A handful of looks: the boxes' sizes, focused or not, enabled or not.
            constexpr std::size_t kKept = 16;
            if (panels_.size() >= kKept) panels_.erase(panels_.begin());
            QPixmap panel((QSizeF(look.size) * look.dpr).toSize());
            panel.setDevicePixelRatio(look.dpr);
            panel.fill(Qt::transparent);
            QStyleOptionFrame at_origin = *frame;
            at_origin.rect.moveTopLeft(QPoint(0, 0));
            QPainter p(&panel);
            QProxyStyle::drawPrimitive(element, &at_origin, &p, widget);
            p.end();
            panels_.emplace_back(look, panel);
            kept = panels_.end() - 1;
        }
        painter->drawPixmap(option->rect.topLeft(), kept->second);
    }

private:
    struct Look {
        QSize size;
        int state;
        int line_width;
        qint64 palette;
        qreal dpr;
        Qt::LayoutDirection direction;
        bool operator==(const Look&) const = default;
    };
    mutable std::vector<std::pair<Look, QPixmap>> panels_;
};

// One for every box, made with the first and gone with the application.
QStyle* cached_panel_style() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new CachedPanelStyle;
        style->setParent(qApp);
    }
    return style;
}

}  // namespace

ThresholdBox::ThresholdBox(QWidget* parent) : QLineEdit(parent) { setStyle(cached_panel_style()); }

ThresholdBox::ThresholdBox(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
    setStyle(cached_panel_style());
}

void ThresholdBox::set_problem(const QString& problem) {
    if (problem == problem_) return;
    problem_ = problem;
    setToolTip(problem);
    update();
}

QColor ThresholdBox::border_color(QColor background) {
    // Red darkened over a light background, lightened over a dark one, until
    // it stands out as the threshold lines do.
    if (background.lightness() >= 128) return QColor(204, 0, 0);
    return monitor::line_ink(QColor(255, 0, 0), background);
}

void ThresholdBox::paintEvent(QPaintEvent* e) {
    QLineEdit::paintEvent(e);
    if (problem_.isEmpty()) return;
    QPainter p(this);
    constexpr int kWidth = 2;
    p.setPen(QPen(border_color(palette().color(QPalette::Base)), kWidth));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(kWidth / 2.0, kWidth / 2.0, -kWidth / 2.0, -kWidth / 2.0));
}

void ThresholdBox::keyPressEvent(QKeyEvent* e) {
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && e->key() == Qt::Key_Escape) {
        emit revert_asked();
        return;
    }
    if (plain && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)) {
        emit step_asked(e->key() == Qt::Key_Up ? 1 : -1);
        return;
    }
    // Enter commits here and is not passed on, so that it presses no button.
    if (plain && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        emit commit_asked();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void ThresholdBox::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    // A context menu or another window taking the keyboard for a moment is
    // not leaving the box.
    if (e->reason() != Qt::PopupFocusReason && e->reason() != Qt::ActiveWindowFocusReason) emit commit_asked();
}
