#include "components/action_box_internal.h"
#include "runtime/effects.h"
#include "runtime/text.h"

#include <algorithm>
#include <cstring>

namespace folvex {

namespace {

ActionBoxAnswerer*& installedAnswerer()
{
    static ActionBoxAnswerer* answerer = nullptr;
    return answerer;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to)
{
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

std::intptr_t clampSize(std::intptr_t value)
{
    return std::clamp(value, -ActionBoxSizeLimitPx, ActionBoxSizeLimitPx);
}

int toInt(std::intptr_t value)
{
    return static_cast<int>(clampSize(value));
}

// Byte offsets of the code points of a UTF-8 text, plus its size at the end; a malformed byte
// counts as one character.
std::vector<std::size_t> characterOffsets(std::string_view text)
{
    std::vector<std::size_t> offsets;
    std::size_t pos = 0;
    while (pos < text.size()) {
        offsets.push_back(pos);
        decodeUtf8(text, pos);
    }
    offsets.push_back(text.size());
    return offsets;
}

std::vector<std::string> splitAt(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string joinWords(const std::vector<std::string>& words, std::size_t first, std::size_t last)
{
    std::string joined;
    for (std::size_t i = first; i < last; ++i) {
        if (i > first) {
            joined += ' ';
        }
        joined += words[i];
    }
    return joined;
}

int nextStep(int step)
{
    return step > 2 ? step / 2 : step - 1;
}

// Where to cut a line whose first word (of firstWordLength characters) is wider than the area: a
// halving search, then a linear refinement from where it stopped. At least one character stays on
// the line, so a character wider than the whole area cannot make wrapping loop.
int cutPosition(
    const std::string& line, int firstWordLength, int areaWidth, const ActionBoxMeasurer& measurer)
{
    const std::vector<std::size_t> offsets = characterOffsets(line);
    const int length = static_cast<int>(offsets.size()) - 1;
    const auto prefixWidth = [&](int count) {
        const int clamped = std::clamp(count, 0, length);
        return measurer.textWidth(
            std::string_view(line).substr(0, offsets[static_cast<std::size_t>(clamped)]));
    };

    int p = firstWordLength / 2;
    int step = firstWordLength / 4;
    int direction = 1;
    int cut = 0;
    while (step > 0) {
        const int width = prefixWidth(p);
        if (width < areaWidth) {
            if (prefixWidth(p + 1) > areaWidth) {
                cut = p;
                step = 0;
            } else {
                step = nextStep(step);
                direction = 1;
            }
        } else if (width > areaWidth) {
            if (prefixWidth(p - 1) < areaWidth) {
                cut = p - 1;
                step = 0;
            } else {
                step = nextStep(step);
                direction = -1;
            }
        } else {
            cut = p;
            step = 0;
        }
        if (cut == 0 && step > 0) {
            p += step * direction;
        }
    }
    if (cut == 0) {
        p = std::clamp(p, 0, length);
        if (prefixWidth(p) > areaWidth) {
            while (p > 0 && prefixWidth(p) > areaWidth) {
                --p;
            }
            cut = p;
        } else {
            while (p < length && prefixWidth(p) < areaWidth) {
                ++p;
            }
            cut = p - 1;
        }
    }
    return std::max(cut, 1);
}

const char* const GuardTail = "Hier hängt es, deshalb kann man keinen Button mehr betätigen.";

} // namespace

int ResetActionBoxParams(ActionBoxParams& params)
{
    params = ActionBoxParams{};
    return 0;
}

ActionBoxAnswerer* setActionBoxAnswerer(ActionBoxAnswerer* answerer)
{
    ActionBoxAnswerer* previous = installedAnswerer();
    installedAnswerer() = answerer;
    return previous;
}

ActionBoxAnswerer* actionBoxAnswerer()
{
    return installedAnswerer();
}

ActionBoxIconKind actionBoxIconKind(std::intptr_t icon)
{
    if (icon < 1 || icon > 6) {
        return ActionBoxIconKind::None;
    }
    return static_cast<ActionBoxIconKind>(icon);
}

std::string actionBoxTitleForIcon(std::intptr_t icon)
{
    switch (icon) {
        case 2:
            return "Frage";
        case 3:
            return "Achtung";
        case 4:
            return "Fehler";
        default:
            return "Hinweis";
    }
}

ActionBoxSound actionBoxSound(std::intptr_t sound, std::intptr_t icon)
{
    ActionBoxSound result;
    int systemType = -1;
    if (sound == 1) {
        switch (actionBoxIconKind(icon)) {
            case ActionBoxIconKind::Information:
                systemType = 64;
                break;
            case ActionBoxIconKind::Question:
                systemType = 32;
                break;
            case ActionBoxIconKind::Warning:
            case ActionBoxIconKind::Shield:
                systemType = 48;
                break;
            case ActionBoxIconKind::Error:
                systemType = 16;
                break;
            case ActionBoxIconKind::Application:
            case ActionBoxIconKind::None:
                break;
        }
    } else if (sound >= 11 && sound <= 15) {
        constexpr int Fixed[] = {64, 32, 48, 16, 0};
        systemType = Fixed[sound - 11];
    } else if (sound >= 16) {
        result.kind = ActionBoxSoundKind::File;
        result.fileName = reinterpret_cast<const char*>(sound);
        return result;
    }
    if (systemType >= 0) {
        result.kind = ActionBoxSoundKind::System;
        result.systemType = systemType;
    }
    return result;
}

void applyActionBoxDefaults(ActionBoxParams& params)
{
    if (params.TextWidth == 0) {
        params.TextWidth = ActionBoxDefaultTextWidthPx;
    }
    if (params.MaxTextHeight == 0) {
        params.MaxTextHeight = ActionBoxDefaultMaxTextHeightPx;
    }
    if (params.AreaColour == 0) {
        params.AreaColour = ActionBoxWhite;
    }
    if (params.StripColour == 0) {
        params.StripColour = ActionBoxButtonFaceColour;
    }
    if (params.Icon == 0) {
        params.Icon = 1;
        if (params.Sound == 0) {
            params.Sound = -1;
        }
    }
    if (params.Title.empty()) {
        params.Title = actionBoxTitleForIcon(params.Icon);
    }
    if (params.Sound == 0) {
        params.Sound = 1;
    }
    if (params.ButtonWidth == 0) {
        params.ButtonWidth =
            params.ButtonCount >= 1 ? ActionBoxDefaultButtonWidthPx : ActionBoxDefaultLoneButtonWidthPx;
    }
    if (params.ButtonHeight == 0) {
        params.ButtonHeight = ActionBoxDefaultButtonHeightPx;
    }
    if (params.ButtonCount == 0) {
        params.ButtonCount = 1;
        params.Buttons = ActionBoxOkLabel;
    }
    if (params.HelpButton != 0) {
        params.ButtonCount = clampSize(params.ButtonCount) + 1;
        if (actionBoxField(params.Buttons, params.ButtonCount).empty()) {
            if (!params.Buttons.empty()) {
                params.Buttons += '|';
            }
            params.Buttons += ActionBoxHelpLabel;
        }
    }
    if (params.DefaultButton == 0 || params.DefaultButton > params.ButtonCount) {
        params.DefaultButton = 1;
    }
}

std::string actionBoxText(const ActionBoxParams& params)
{
    if (!params.Text.empty()) {
        return params.Text;
    }
    if (params.TextAddress != 0) {
        return reinterpret_cast<const char*>(params.TextAddress);
    }
    return {};
}

std::string prepareActionBoxText(std::string_view text)
{
    std::string prepared(text);
    replaceAll(prepared, "\\t", "\u00A0\u00A0\u00A0\u00A0\u00A0\u00A0");
    replaceAll(prepared, "\\q", "\"");
    replaceAll(prepared, "\\n", "\r");
    return prepared;
}

std::vector<std::string> splitActionBoxLines(std::string_view prepared)
{
    return splitAt(prepared, '\r');
}

std::string actionBoxField(std::string_view list, std::intptr_t index)
{
    if (index < 1) {
        return {};
    }
    std::size_t start = 0;
    for (std::intptr_t field = 1; field < index; ++field) {
        const std::size_t bar = list.find('|', start);
        if (bar == std::string_view::npos) {
            return {};
        }
        start = bar + 1;
    }
    const std::size_t end = list.find('|', start);
    return std::string(
        list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

ActionBoxWrap
wrapActionBoxLines(std::vector<std::string> lines, int areaWidthPx, const ActionBoxMeasurer& measurer)
{
    // The wrapped lines are collected in new vectors rather than inserted in place, so a text of many
    // thousand lines wraps in time proportional to its length.
    ActionBoxWrap wrap;
    wrap.lines.reserve(lines.size());
    wrap.widths.reserve(lines.size());
    const auto emit = [&wrap](std::string line, int width) {
        wrap.lines.push_back(std::move(line));
        wrap.widths.push_back(width);
    };
    int handled = 0;
    for (std::size_t c = 0; c < lines.size(); ++c) {
        std::string line = std::move(lines[c]);
        while (true) {
            if (handled >= ActionBoxWrapGuardLines) {
                wrap.guardTriggered = true;
                emit(std::move(line), 0);
                for (std::size_t rest = c + 1; rest < lines.size(); ++rest) {
                    emit(std::move(lines[rest]), 0);
                }
                showActionBoxGuard(ActionBoxGuard::LineWrap);
                return wrap;
            }
            ++handled;
            if (line.empty()) {
                emit(std::move(line), 0);
                break;
            }
            const int wholeWidth = measurer.textWidth(line);
            if (wholeWidth <= areaWidthPx) {
                emit(std::move(line), wholeWidth);
                break;
            }
            const std::vector<std::string> words = splitAt(line, ' ');
            int sum = measurer.textWidth(words[0]);
            std::size_t overflowing = 0; // 0: none found
            const bool firstTooWide = sum > areaWidthPx;
            if (!firstTooWide) {
                const int spaceWidth = measurer.textWidth(" ");
                for (std::size_t j = 1; j < words.size(); ++j) {
                    const int next = sum + spaceWidth + measurer.textWidth(words[j]);
                    if (next > areaWidthPx) {
                        overflowing = j;
                        break;
                    }
                    sum = next;
                }
            }
            if (overflowing >= 1) {
                emit(joinWords(words, 0, overflowing), sum);
                line = joinWords(words, overflowing, words.size());
                continue;
            }
            if (!firstTooWide) {
                emit(std::move(line), sum);
                break;
            }
            const int firstLength = static_cast<int>(characterOffsets(words[0]).size()) - 1;
            const int cut = cutPosition(line, firstLength, areaWidthPx, measurer);
            const std::vector<std::size_t> offsets = characterOffsets(line);
            const std::size_t cutByte = offsets[std::min(static_cast<std::size_t>(cut), offsets.size() - 1)];
            if (cutByte >= line.size()) {
                const int width = measurer.textWidth(line);
                emit(std::move(line), width);
                break;
            }
            std::string head = line.substr(0, cutByte);
            const int width = measurer.textWidth(head);
            emit(std::move(head), width);
            line.erase(0, cutByte);
        }
    }
    return wrap;
}

std::uint8_t Button1stLetterAsc(const std::string& label)
{
    std::string stripped = label;
    int passes = 0;
    while (stripped.find("&&") != std::string::npos) {
        ++passes;
        if (passes >= ActionBoxAmpersandGuardPasses) {
            showActionBoxGuard(ActionBoxGuard::Ampersand);
        }
        replaceAll(stripped, "&&", "");
    }
    std::size_t pos = 0;
    const std::size_t amp = stripped.find('&');
    if (amp != std::string::npos) {
        pos = amp + 1;
    }
    if (pos >= stripped.size()) {
        return 0;
    }
    const std::optional<char32_t> character = decodeUtf8(stripped, pos);
    if (!character) {
        return 0;
    }
    return static_cast<std::uint8_t>(upperCaseChar(*character) & 0xFF);
}

ActionBoxLayout layoutActionBox(
    const ActionBoxParams& params,
    const std::string& text,
    const ActionBoxMeasurer& measurer,
    int screenWidthPx,
    int screenHeightPx)
{
    constexpr int m = ActionBoxMarginPx;
    constexpr int frames = 2 * ActionBoxDialogFrameWidthPx;
    ActionBoxLayout layout;
    const int buttonCount =
        static_cast<int>(std::clamp(params.ButtonCount, -ActionBoxButtonLimit, ActionBoxButtonLimit));
    const int buttonWidth = toInt(params.ButtonWidth);
    const int buttonHeight = toInt(params.ButtonHeight);
    const int maxTextHeight = toInt(params.MaxTextHeight);

    layout.iconColumnPx = params.Icon >= 1 ? ActionBoxIconColumnPx : 0;
    int area = toInt(params.TextWidth) + (params.Icon < 1 ? ActionBoxNoIconExtraPx : 0);
    int width = layout.iconColumnPx + m + area + m;
    layout.minWidthPx = m * (buttonCount + 1) + buttonWidth * buttonCount + frames;
    if (width < layout.minWidthPx) {
        area += layout.minWidthPx - width;
        width = layout.minWidthPx;
    }
    layout.wrapWidthPx = area;

    layout.provisional.left = screenWidthPx / 2 - width / 2;
    layout.provisional.top = screenHeightPx / 2;
    layout.provisional.width = width + frames;
    layout.provisional.height = ActionBoxCaptionHeightPx + frames;

    if (!text.empty()) {
        ActionBoxWrap wrap =
            wrapActionBoxLines(splitActionBoxLines(prepareActionBoxText(text)), area, measurer);
        layout.lines = std::move(wrap.lines);
        layout.widths = std::move(wrap.widths);
        layout.wrapGuardTriggered = wrap.guardTriggered;
    }
    if (params.Icon >= 1 && params.TextFont == 0) {
        while (layout.lines.size() < 2) {
            layout.lines.emplace_back();
            layout.widths.push_back(0);
        }
    }
    if (!text.empty()) {
        int widest = 0;
        for (std::size_t i = 0; i < layout.lines.size(); ++i) {
            if (!layout.lines[i].empty()) {
                widest = std::max(widest, layout.widths[i]);
            }
        }
        area = widest + m;
        width = std::max(layout.iconColumnPx + m + area + m, layout.minWidthPx);
    }
    layout.areaWidthPx = area;

    layout.lineHeightPx = measurer.textHeight("X");
    const long long lineCount = static_cast<long long>(layout.lines.size());
    const long long allLines = lineCount * layout.lineHeightPx;
    layout.scrolls = allLines > maxTextHeight;
    layout.textHeightPx = layout.scrolls
                              ? maxTextHeight
                              : static_cast<int>(std::min<long long>(allLines, ActionBoxSizeLimitPx));
    const int height = m + layout.textHeightPx + 2 * m + buttonHeight + m + frames + ActionBoxCaptionHeightPx;
    if (layout.scrolls) {
        width += ActionBoxScrollBarWidthPx;
    }

    const ActionBoxRect& p = layout.provisional;
    layout.outer.left = p.left + p.width / 2 - width / 2;
    layout.outer.top = p.top + p.height / 2 - height / 2;
    layout.outer.width = width;
    layout.outer.height = height;
    layout.clientWidthPx = width - frames;
    layout.clientHeightPx = height - ActionBoxCaptionHeightPx - frames;
    layout.stripTopPx = layout.clientHeightPx - m - buttonHeight - m;

    if (layout.scrolls) {
        // A line height of 0 (nothing measurable) must not divide by zero.
        layout.visibleLines = maxTextHeight / std::max(layout.lineHeightPx, 1);
        layout.greatestScrollPos =
            static_cast<int>(std::max<long long>(1, lineCount - layout.visibleLines + 1));
    }

    for (int i = 1; i <= buttonCount; ++i) {
        ActionBoxRect button;
        button.left = layout.clientWidthPx - (buttonCount - i + 1) * (m + buttonWidth);
        button.top = layout.clientHeightPx - buttonHeight - m;
        button.width = buttonWidth;
        button.height = buttonHeight;
        layout.buttons.push_back(button);
    }
    return layout;
}

ActionBoxGuardMessage actionBoxGuardMessage(ActionBoxGuard guard, int button, int keyCode)
{
    const std::string tail = std::string("\r\r") + GuardTail;
    const auto input = [&](int n) {
        const std::string name = "FindError Eingabehandling " + std::to_string(n);
        return ActionBoxGuardMessage{name + " getriggert", name + ">=10!" + tail};
    };
    switch (guard) {
        case ActionBoxGuard::LineWrap:
            return {
                "FindError »text$ in einzelne Zeilen aufteilen« getriggert",
                "FindError »text$ in einzelne Zeilen aufteilen«>=" + std::to_string(ActionBoxWrapGuardLines) +
                    "!" + tail};
        case ActionBoxGuard::Ampersand:
            return {"FindError »Buttons erstellen« getriggert", "FindError »Buttons erstellen«>=100!" + tail};
        case ActionBoxGuard::Input1:
            return input(1);
        case ActionBoxGuard::Input2:
            return input(2);
        case ActionBoxGuard::Input3:
            return {
                "FindError Eingabehandling 3 getriggert",
                "FindError Eingabehandling 3>=10!\ri=" + std::to_string(button) +
                    "\rButton1stLetterAsc(i)=" + std::to_string(keyCode) + tail};
        case ActionBoxGuard::Input4:
            return input(4);
        case ActionBoxGuard::Input5:
            return input(5);
        case ActionBoxGuard::RightSearch:
            return {
                "FindError 1 getriggert", "FindError Vorkommen 1 in Buttons in ABSubclassProc>=50!" + tail};
        case ActionBoxGuard::LeftSearch:
            return {
                "FindError 2 getriggert", "FindError Vorkommen 2 in Buttons in ABSubclassProc>=50!" + tail};
    }
    return {};
}

void showActionBoxGuard(ActionBoxGuard guard, int button, int keyCode)
{
    const ActionBoxGuardMessage message = actionBoxGuardMessage(guard, button, keyCode);
    if (effects().messages != nullptr) {
        effects().messages->showMessage(message.title, message.text, MessageButtons::Ok, MessageIcon::Error);
    }
}

} // namespace folvex
