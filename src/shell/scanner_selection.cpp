#include "shell/scanner_selection.h"

#include "components/action_box.h"
#include "foundation/twain_binding.h"

namespace folvex {

namespace {

constexpr const char* LastValuesSection = "LAST_VALUES";
constexpr const char* LastSourceNameKey = "LastSourceName";

constexpr std::intptr_t InformationIcon = 1;
constexpr std::intptr_t WarningIcon = 3;
constexpr std::intptr_t ErrorIcon = 4;

void showNoScanner(ScannerSelectionView& view)
{
    view.setScannerLine(std::string(NoScannerLine));
    view.enableScanButton(false);
}

std::intptr_t showBox(std::string_view title, std::string text, std::intptr_t icon)
{
    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = std::string(title);
    params.Text = std::move(text);
    params.Icon = icon;
    return ActionBox(params);
}

// Adapts the window to a freshly opened source: its name, whether it offers the feeder and duplex.
void takeOpenedSource(ScannerSelectionContext& context, ScannerLibrary& library)
{
    ScannerSelectionView& view = context.view;
    const SourceHandle source = context.CurrentSource;
    view.setStatusNow(std::string(StatusReadingScanner));
    Settings& settings = context.settings.settings;
    settings.LastSourceName = library.productName(source, MaxProductNameChars);
    view.setScannerLine(std::string(ScannerLinePrefix) + settings.LastSourceName);

    const std::string feederItem(FeederPaperSource);
    const int feederIndex = view.lastPaperSourceIndex(feederItem);
    if (library.hasFeeder(source) != 0 && library.canUseFeeder(source) != 0) {
        if (feederIndex < 0) {
            view.addPaperSource(feederItem);
        }
        view.enableDuplexBox(library.canScanBothSides(source) != 0);
    } else {
        if (feederIndex >= 0) {
            view.removePaperSource(feederIndex);
        }
        view.enableDuplexBox(false);
    }
    view.enableScanButton(true);
    // A failed write is reported by the settings writer itself.
    writeSetting(context.settings, LastValuesSection, LastSourceNameKey, settings.LastSourceName);
}

std::int32_t reportCountMismatch(ScannerSelectionContext& context, ScannerLibrary& library)
{
    std::int32_t firstPass = 0;
    std::int32_t secondPass = 0;
    library.manualDuplexCounts(context.CurrentSource, &firstPass, &secondPass);

    const bool secondLarger = secondPass > firstPass;
    std::string text(CountMismatchIntro);
    text += std::to_string(firstPass);
    text += CountMismatchSecondCount;
    text += std::to_string(secondPass);
    text += CountMismatchAdviceSeparator;
    text += secondLarger ? SecondPassLargerAdvice : FirstPassNotSmallerAdvice;
    std::int32_t result = static_cast<std::int32_t>(
        secondLarger ? ManualDuplexAnswer::RepeatFrontsInOrder : ManualDuplexAnswer::RepeatFrontsReversed);

    ActionBoxParams params;
    ResetActionBoxParams(params);
    params.Title = std::string(CountMismatchTitle);
    params.Text = std::move(text);
    params.Icon = WarningIcon;
    params.ButtonCount = 3;
    params.Buttons = std::string(CountMismatchButtons);
    params.DefaultButton = 1;
    params.ButtonWidth = CountMismatchButtonWidthPx;
    const std::intptr_t pressed = ActionBox(params);
    if (pressed == 2) {
        result = static_cast<std::int32_t>(ManualDuplexAnswer::RestartWholeScan);
        showBox(RestartFirstPassTitle, std::string(RestartFirstPassText), InformationIcon);
    } else if (pressed == 3) {
        result = static_cast<std::int32_t>(ManualDuplexAnswer::Continue);
    }
    return result;
}

} // namespace

SourceHandle SelectScanner(ScannerSelectionContext& context, const std::string& name)
{
    ScannerLibrary& library = DTwainBinding();
    ScannerSelectionView& view = context.view;

    const SourceHandle previous = context.CurrentSource;
    if (previous != NoHandle) {
        library.closeSource(previous);
        context.CurrentSource = NoHandle;
    }

    view.setStatusNow(std::string(StatusOpeningScanner));
    const bool byDialog = name.empty();
    context.CurrentSource = byDialog ? library.selectSourceWithDialog() : library.selectSourceByName(name);

    if (context.CurrentSource != NoHandle) {
        if (library.openSource(context.CurrentSource) != 0) {
            takeOpenedSource(context, library);
        } else {
            context.CurrentSource = NoHandle;
            showNoScanner(view);
            if (byDialog) {
                showBox(OpenFailedTitle, std::string(OpenFailedText), ErrorIcon);
            }
        }
    } else if (previous != NoHandle) {
        // Nothing chosen: the previous source stays the scanner, and the window keeps showing it.
        // When it cannot be opened again the window must not go on offering it.
        context.CurrentSource = previous;
        if (library.openSource(previous) == 0) {
            context.CurrentSource = NoHandle;
            showNoScanner(view);
        }
    } else {
        showNoScanner(view);
    }

    view.setStatusNow(std::string(StatusIdle));
    return context.CurrentSource;
}

SourceHandle selectLastScannerAtStartUp(
    ScannerSelectionContext& context, const std::function<void(const std::string&)>& splashStatus)
{
    const Settings& settings = context.settings.settings;
    if (!settings.LastSourceName.empty() && settings.OpenLastScannerOnStartup == 1) {
        if (splashStatus) {
            splashStatus(std::string(SplashOpeningLastScanner));
        }
        // A copy: SelectScanner replaces LastSourceName while it works.
        const std::string name = settings.LastSourceName;
        SelectScanner(context, name);
    }
    return context.CurrentSource;
}

std::int32_t TwainNotificationCallback(
    ScannerSelectionContext& context, std::int32_t code, std::int32_t /*value*/, std::int64_t /*userData*/)
{
    switch (static_cast<ScannerNotification>(code)) {
        case ScannerNotification::PageAcquired:
            ++context.passPages;
            ++context.jobPages;
            break;
        case ScannerNotification::ManualFirstPassDone:
            showBox(SecondPassTitle, std::string(SecondPassText), InformationIcon);
            break;
        case ScannerNotification::ManualCountsDiffer:
            if (context.AcquisitionRunning != 0) {
                return reportCountMismatch(context, DTwainBinding());
            }
            break;
        default:
            break;
    }
    return static_cast<std::int32_t>(ManualDuplexAnswer::Continue);
}

ScannerCallback twainNotificationCallbackFor(ScannerSelectionContext& context)
{
    return [&context](std::int32_t code, std::int32_t value, std::int64_t userData) {
        return TwainNotificationCallback(context, code, value, userData);
    };
}

} // namespace folvex
