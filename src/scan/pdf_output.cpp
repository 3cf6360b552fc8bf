#include "scan/pdf_output.h"

#include "foundation/paths.h"
#include "pdf/pdf_adapter.h"
#include "scan/page_depth.h"

#include <string>
#include <utility>

namespace folvex {

namespace {

constexpr std::int32_t Portrait = 1;
constexpr std::int32_t PointUnit = 1;
constexpr std::int32_t A4Format = 0;
constexpr float WriterDefault = -1.0F;
constexpr std::int32_t NoLink = -1;

// Writes the page's temporary image beside its page file: 1-bit pages as PNG (lossless), the others
// as JPEG at the chosen quality, prepared for the encoder.
void writeTemporaryImage(
    const FreeImageFunctionTable& functions,
    std::uint8_t jpgQuality,
    const std::string& tmpPath,
    PageWork& work,
    FIBITMAP* page,
    std::int32_t number)
{
    const std::string base = tmpPath + "/" + std::string(PageFilePrefix) + std::to_string(number);
    work.widthPt = pagePoints(functions.GetWidth(page), functions.GetDotsPerMeterX(page));
    work.heightPt = pagePoints(functions.GetHeight(page), functions.GetDotsPerMeterY(page));
    if (functions.GetBPP(page) == 1) {
        work.file = base + ".png";
        work.failed = functions.SaveU(FIF_PNG, page, work.file, 0) == FALSE;
        return;
    }
    work.file = base + ".jpg";
    const PreparedPage prepared = prepareDepthFor(functions, FIF_JPEG, page);
    work.failed = prepared.image == nullptr ||
                  functions.SaveU(FIF_JPEG, prepared.image, work.file, jpgQuality) == FALSE;
}

// Why placing a page's image failed, for the writer's error code (pdf_Image).
std::string placementCause(std::int32_t code)
{
    constexpr std::int32_t SpoolNotWritten = 6;
    constexpr std::int32_t FileNotRead = 7;
    if (code == SpoolNotWritten) {
        const std::string cause = writeFailureCause(pdf_SystemError());
        return "Auslagerungsdatei nicht beschreibbar" + (cause.empty() ? "" : " (" + cause + ")");
    }
    if (code == FileNotRead) {
        return "Zwischenbild nicht lesbar";
    }
    return "Zwischenbild fehlerhaft";
}

// One output document, opened at its first kept page so that a part without one writes nothing. A
// page whose image cannot be placed has already become a page of the document, so the document is
// incomplete: it is dropped at its end and the old file under its name stays.
class PdfDocumentRun
{
public:
    explicit PdfDocumentRun(SaveOutcome& outcome)
        : m_outcome(outcome)
    {}

    void addPage(const PageWork& work, std::int32_t number)
    {
        if (m_failedPage != 0) {
            return; // the document is not written: its later pages need no work
        }
        if (!m_open) {
            static_cast<void>(pdf_Create(Portrait, PointUnit, A4Format, WriterDefault, WriterDefault));
            static_cast<void>(pdf_SetAuthor(std::string(PdfAuthor)));
            static_cast<void>(pdf_SetCreator(std::string(PdfAuthor)));
            m_open = true;
        }
        static_cast<void>(pdf_AddPage(Portrait, A4Format, work.widthPt, work.heightPt));
        const std::int32_t code = pdf_Image(work.file, 0.0F, 0.0F, work.widthPt, work.heightPt, NoLink);
        if (code != 0) {
            m_failedPage = number;
            m_outcome.failures.push_back(
                "Seite " + std::to_string(number) +
                ": konnte nicht in das PDF eingefügt werden. Grund: " + placementCause(code) + ".");
        }
    }

    // Writes the open document to target; nothing when no page was added. A document with a page
    // that could not be placed is dropped and reported.
    void close(const std::string& target)
    {
        if (!m_open) {
            return;
        }
        m_open = false;
        if (m_failedPage != 0) {
            pdf_Discard();
            m_outcome.fileNotWritten(
                target, "Seite " + std::to_string(std::exchange(m_failedPage, 0)) + " konnte nicht eingefügt werden");
            return;
        }
        if (pdf_Save(target) == 0 && FileExists(target) != 0) {
            m_outcome.fileWritten(target);
        } else {
            m_outcome.fileNotWritten(target, writeFailureCause(pdf_SystemError()));
        }
    }

private:
    SaveOutcome& m_outcome;
    bool m_open = false;
    std::int32_t m_failedPage = 0; // the first page of the open document that could not be placed
};

} // namespace

WriterOutcome SavePdf(ScanJobContext& context, ScanJobState& job)
{
    const WriterTarget target = chooseWriterTarget(context, job, PdfLiterals);
    if (target.outcome != WriterOutcome::Written) {
        return target.outcome;
    }
    const FreeImageFunctionTable& functions = *context.freeImage;
    const Settings& settings = context.shell.settingsState.settings;
    const std::uint8_t quality = settings.JpgQuality;
    const std::string tmpPath = settings.TmpPath;

    SaveOutcome outcome;
    PdfDocumentRun document(outcome);
    std::string targetName = target.targetName;
    std::int32_t documentNumber = 0;

    PageLoopHooks hooks;
    hooks.prepare = [&functions, quality, &tmpPath](PageWork& work, FIBITMAP* page, std::int32_t number) {
        writeTemporaryImage(functions, quality, tmpPath, work, page, number);
    };
    hooks.add = [&document](PageWork& work, std::int32_t number) { document.addPage(work, number); };
    hooks.afterPage = [&](std::int32_t number) {
        if (target.splitMode && splitFlagAt(context.shell, static_cast<std::size_t>(number)) != 0) {
            document.close(targetName);
            ++documentNumber;
            targetName = numberedName(target.chosenName, documentNumber + 1, PdfLiterals.extension);
        }
    };
    runPageLoop(context, job, hooks, outcome);
    document.close(targetName);
    finishWriterRun(context, outcome, true);
    return WriterOutcome::Written;
}

} // namespace folvex
