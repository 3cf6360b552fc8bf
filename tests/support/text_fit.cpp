#include "support/text_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTextDocument>

#include <algorithm>

namespace folvex::testing {

namespace {

// The gap the style leaves on each side of a combo box item's text inside its field.
constexpr int ComboTextMarginPx = 1;
// Room a group box title needs beside its text (the frame's corner and the gaps around the title).
constexpr int GroupTitlePaddingPx = 16;

// A button text as it is shown: "&x" marks an accelerator, "&&" is one "&".
QString shownText(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

QString describe(const QWidget& widget, const QString& text, QSize needs)
{
    return QStringLiteral("%1 \"%2\": needs %3 x %4, has %5 x %6")
        .arg(QString::fromUtf8(widget.metaObject()->className()), text)
        .arg(needs.width())
        .arg(needs.height())
        .arg(widget.width())
        .arg(widget.height());
}

// The size a block of lines takes in a font.
QSize linesSize(const QFontMetrics& metrics, const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    int width = 0;
    for (const QString& line : lines) {
        width = std::max(width, metrics.horizontalAdvance(line));
    }
    return {width, metrics.height() + (static_cast<int>(lines.size()) - 1) * metrics.lineSpacing()};
}

bool fits(QSize needs, QSize room)
{
    return needs.width() <= room.width() && needs.height() <= room.height();
}

void checkLabel(const QLabel& label, std::vector<std::string>& cut)
{
    if (label.text().isEmpty() || Qt::mightBeRichText(label.text())) {
        return;
    }
    const QRect room =
        label.contentsRect().adjusted(label.margin(), label.margin(), -label.margin(), -label.margin());
    QSize needs;
    if (label.wordWrap()) {
        needs = {0, label.heightForWidth(label.width())};
        if (needs.height() <= label.height()) {
            return;
        }
        cut.push_back(describe(label, label.text(), needs).toStdString());
        return;
    }
    needs = linesSize(QFontMetrics(label.font()), label.text());
    if (!fits(needs, room.size())) {
        cut.push_back(describe(label, label.text(), needs).toStdString());
    }
}

void checkButton(const QAbstractButton& button, std::vector<std::string>& cut)
{
    if (button.text().isEmpty()) {
        return;
    }
    QSize needs;
    if (qobject_cast<const QCheckBox*>(&button) != nullptr ||
        qobject_cast<const QRadioButton*>(&button) != nullptr) {
        // The indicator, its gap and the text, on one line of the font.
        needs = {button.sizeHint().width(), QFontMetrics(button.font()).height()};
    } else {
        // A push button keeps the style's margin around its caption; an owner-drawn button paints
        // its caption centred on its whole face.
        needs = linesSize(QFontMetrics(button.font()), shownText(button.text()));
        if (qobject_cast<const QPushButton*>(&button) != nullptr) {
            needs.rwidth() += button.style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button);
        }
    }
    if (!fits(needs, button.size())) {
        cut.push_back(describe(button, button.text(), needs).toStdString());
    }
}

void checkCombo(const QComboBox& box, std::vector<std::string>& cut)
{
    // Items are drawn into the field beside the drop-down arrow, inside a small margin.
    QStyleOptionComboBox option;
    option.initFrom(&box);
    option.editable = false;
    option.frame = box.hasFrame();
    const QRect field =
        box.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &box);
    const QFontMetrics metrics(box.font());
    for (int i = 0; i < box.count(); ++i) {
        const QSize needs(
            metrics.horizontalAdvance(box.itemText(i)) + 2 * ComboTextMarginPx, metrics.height());
        if (!fits(needs, field.size())) {
            cut.push_back(describe(box, box.itemText(i), needs).toStdString());
        }
    }
}

void checkGroup(const QGroupBox& group, std::vector<std::string>& cut)
{
    if (group.title().isEmpty()) {
        return;
    }
    const QFontMetrics metrics(group.font());
    const QSize needs(
        metrics.horizontalAdvance(shownText(group.title())) + GroupTitlePaddingPx, metrics.height());
    if (!fits(needs, group.size())) {
        cut.push_back(describe(group, group.title(), needs).toStdString());
    }
}

void checkOne(const QWidget& widget, std::vector<std::string>& cut)
{
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        checkLabel(*label, cut);
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        checkButton(*button, cut);
    } else if (const auto* box = qobject_cast<const QComboBox*>(&widget)) {
        if (!box->isEditable()) {
            checkCombo(*box, cut);
        }
    } else if (const auto* group = qobject_cast<const QGroupBox*>(&widget)) {
        checkGroup(*group, cut);
    }
}

} // namespace

std::vector<std::string> cutTexts(const QWidget& root)
{
    std::vector<std::string> cut;
    checkOne(root, cut);
    for (const QWidget* child : root.findChildren<QWidget*>()) {
        if (child->isVisibleTo(&root)) {
            checkOne(*child, cut);
        }
    }
    return cut;
}

} // namespace folvex::testing
