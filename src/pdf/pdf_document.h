#pragma once
// The PDF writer's document model: the table of open documents, the document record every part of the
// writer reads and writes, its numbered objects with their dictionary entries and streams, and the
// services the writer reaches outside (clock, message boxes, output files). GUI thread only.

#include "pdf/ordered_map.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/expected.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace folvex {

// Object kinds of PdfNewObject; the kind decides which document list records the new object.
enum class PdfObjectKind
{
    Plain = 0,
    FormField = 1,
    OutlineItem = 2,
    EmbeddedFile = 3,
    Font = 4,
    Image = 5,
    JavaScript = 6,
    Page = 7,
    Contents = 8,
    Names = 9,
    OutlineRoot = 10,
};

// The last-error codes of a document (PdfErrorCode, PdfErrorText).
enum class PdfError
{
    None = 0,
    AlphaChannelPng = 1,
    ImageInMemory = 2,
    NotJpeg = 3,
    IncorrectPng = 4,
    NotJpegOrPng = 5,
    FileNotCreated = 6,
    FileNotRead = 7,
    CompressionFailed = 8,
    FontLicence = 9,
    FontBitmapOnly = 10,
    FontNoSubsetting = 11,
};

// Flags of a dictionary entry's value.
inline constexpr std::int32_t PdfEntryPlain = 0;
inline constexpr std::int32_t PdfEntryHex = 2;        // hexadecimal digits, written as the bytes
inline constexpr std::int32_t PdfEntryTextString = 8; // a text string: encoded, escaped or encrypted

// Stream markers: content built by PdfOut, and data that is already compressed.
inline constexpr std::int32_t PdfContentStreamMarker = 7;
inline constexpr std::int32_t PdfCompressedStreamMarker = 32;

// Header and footer procedures: called with their argument, or without one when the argument is 0.
using PdfProcedure = std::function<void(std::optional<std::int32_t>)>;

struct PdfDictEntry
{
    std::string prefix;
    std::string value;
    std::string suffix;
    std::int32_t unused = 0;
    std::int32_t flags = PdfEntryPlain;
};

// A byte range of the document's spool file.
struct PdfSpoolRange
{
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The bytes of an object's stream: a growable buffer in memory, or a range of the document's spool
// file (large image data stays on disk until the file is written). Empty when neither holds bytes.
struct PdfStream
{
    std::string data;
    std::optional<PdfSpoolRange> spoolRange;

    std::uint64_t length() const { return spoolRange ? spoolRange->length : data.size(); }

    bool empty() const { return length() == 0; }

    void clear()
    {
        data.clear();
        data.shrink_to_fit();
        spoolRange.reset();
    }
};

struct PdfObject
{
    std::int64_t offset = 0; // byte position in the file, set when written
    PdfObjectKind kind = PdfObjectKind::Plain;
    std::string rawText; // written before the dictionary
    PdfStream stream;
    std::int32_t streamMarker = 0;
    std::vector<PdfDictEntry> entries;
    std::int32_t fontValue = 0;
};

struct PdfPageEntry
{
    std::string pageRef;
    std::string contentsRef;
    float widthPt = 0;
    float heightPt = 0;
    std::string orientation;
};

struct PdfTocEntry
{
    std::int32_t level = 0;
    std::int32_t page = 0;
    std::string text;
};

struct PdfNamedRef
{
    std::string reference;
    std::string name;
};

struct PdfImageEntry
{
    std::int32_t number = 0; // resource "/I" + number
    std::string reference;
    float width = 0; // user units
    float height = 0;
    std::string name;
};

struct PdfOutlineNode
{
    std::string reference;
    std::string firstChild;
    std::string lastChild;
    std::int32_t childCount = 0;
    std::int32_t descendantCount = 0; // every item below, the /Count of an open item
};

struct PdfAnnotationPlacement
{
    std::string annotationRef;
    std::string pageRef;
};

struct PdfLinkAnnotEntry
{
    std::int32_t linkNumber = 0;
    float targetPageWidthPt = 0;
    float targetPageHeightPt = 0;
    std::vector<PdfAnnotationPlacement> placements;
};

struct PdfLinkEntry
{
    std::int32_t kind = 0; // 1 file attachment, 2 internal link, 3 launch, 4 text note, 5 URI
    std::string uri;
    std::int32_t embeddedFileIndex = 0;
    std::string file;
    std::string parameter;
    std::string title;
    std::string contents;
    std::string iconName;
    float x = -1.0f;
    float y = -1.0f;
    float w = -1.0f;
    float h = -1.0f;
    std::int32_t pageNumber = 0;
    std::int32_t targetPage = 0;
    std::string annotationPageRef;
    std::string targetPageRef;
};

struct PdfFontEntry
{
    std::int32_t number = 0; // resource "/F" + number
    std::string baseName;
    std::string style;
    std::int32_t encodingFlag = 0;
    std::int32_t flags = 0;
    std::int32_t unicodeFlag = 0;
    // 1/1000 of the font size; keyed by the byte a character is written as in an 8-bit font, by the
    // code point in a composite font.
    std::unordered_map<char32_t, std::int32_t> widths;
};

// A block of bytes with what was recorded about it (PdfHexToBuffer, PdfCompress, PdfLoadCompressed).
struct PdfMemoryBlock
{
    std::string data;
    std::int64_t uncompressedLength = 0;
    std::int32_t marker = 0;
};

// Encryption of a document's strings and streams, installed by the security handler; the file writer
// uses it while the document's encryption flag is set.
class PdfEncryption
{
public:
    virtual ~PdfEncryption() = default;

    // The bytes that stand for a text string of object objectNumber (escaped by the writer afterwards).
    virtual std::string encryptTextString(std::int32_t objectNumber, std::string_view bytes) = 0;

    // Encrypts the next piece of object objectNumber's stream in place; a stream arrives in order, in
    // one or more pieces, between beginStream and the next beginStream.
    virtual void beginStream(std::int32_t objectNumber) = 0;

    virtual void encryptStreamPiece(char* data, std::size_t size) = 0;
};

// A temporary file holding stream data that should not stay in memory; it is never visible under a
// name and disappears when closed. Move-only.
class PdfSpoolFile
{
public:
    // Opens an anonymous file in folder.
    static Expected<std::unique_ptr<PdfSpoolFile>> create(const std::string& folder);

    ~PdfSpoolFile();
    PdfSpoolFile(const PdfSpoolFile&) = delete;
    PdfSpoolFile& operator=(const PdfSpoolFile&) = delete;

    // Appends bytes at the end and returns where they are.
    [[nodiscard]] Expected<PdfSpoolRange> append(std::string_view bytes);

    // Reads size bytes at offset into buffer; false when they cannot be read whole.
    [[nodiscard]] bool read(std::uint64_t offset, char* buffer, std::size_t size) const;

private:
    explicit PdfSpoolFile(int fd);

    int m_fd = -1;
    std::uint64_t m_size = 0;
};

// One output file being written: bytes go to a temporary file that replaces the target on commit.
// Destroying it without a successful commit leaves the target untouched and removes the temporary.
class PdfOutputFile
{
public:
    virtual ~PdfOutputFile() = default;

    [[nodiscard]] virtual bool write(std::string_view bytes) = 0;

    // Flushes, syncs, closes and renames over the target.
    [[nodiscard]] virtual Expected<void> commit() = 0;
};

class PdfOutputFiles
{
public:
    virtual ~PdfOutputFiles() = default;

    virtual Expected<std::unique_ptr<PdfOutputFile>> create(const std::string& targetPath) = 0;
};

// The real output: the safe write of the runtime core.
class SafePdfOutputFiles final : public PdfOutputFiles
{
public:
    Expected<std::unique_ptr<PdfOutputFile>> create(const std::string& targetPath) override;
};

// One open PDF document; every field has the value PdfCreate gives it. Lengths and positions are in the
// document's user unit unless their name ends in Pt (points); k = points per user unit.
struct PdfDocument
{
    std::int32_t imageCounter = 0;
    std::int32_t pageNumber = 0; // index of the current page in pages; 0 before the first page
    std::int32_t lastObjectNumber = 0;
    std::string currentPageRef;
    std::string currentContentsRef; // where PdfOut writes by default
    InsertionOrderedMap<PdfOutlineNode> outlineChildren;
    std::string pagesRef;
    std::string acroFormRef;
    std::string formDefaultAppearance; // the first form field's /DA, the AcroForm's default
    std::string outlineRootRef;
    std::string namesRef;
    std::int32_t openPage = 1;
    std::string zoom = "PageTop";
    std::string javaScriptTreeRef;
    std::string firstJavaScriptName;
    std::string lastJavaScriptName;
    std::string embeddedFilesTreeRef;
    std::string firstEmbeddedFileName;
    std::string lastEmbeddedFileName;
    std::string firstOutlineItemRef;
    std::string lastOutlineItemRef;
    std::int32_t outlineItemCount = 0;
    std::int32_t crossReferenceSize = 0;
    std::string catalogRef;
    std::string infoRef;
    std::string encryptRef;
    std::string fileIdentifier;     // 32 lower-case hexadecimal digits
    std::vector<PdfObject> objects; // object n at index n - 1, written in number order
    std::string resourcesRef;
    std::string unicodeMapRef;
    std::vector<std::string> formFields;
    std::vector<PdfNamedRef> embeddedFiles;
    std::vector<PdfNamedRef> fontObjects; // index i is the resource "/F" + (i + 1)
    std::vector<PdfNamedRef> javaScripts;
    std::vector<PdfImageEntry> images;
    std::int32_t compressionFlag = 0;
    std::int32_t encryptionFlag = 0;
    std::int32_t lastErrorCode = 0;
    float lineWidth = 0;
    std::int32_t multiCellLineCount = 0;
    std::int32_t pageCountingFlag = 0;
    std::int32_t aliasFlag = 0;
    float k = 1.0f;
    float wordSpacing = 0;
    std::string drawColor = "0 G";
    std::string fillColor = "0 g";
    std::string textColor = "0 g";
    std::int32_t colorFlag = 0;
    float defaultPageHeight = 0;
    float defaultPageWidth = 0;
    float defaultPageHeightPt = 0;
    float defaultPageWidthPt = 0;
    std::string defaultOrientation = "P";
    std::string ownerEntry;
    std::string userEntry;
    std::string fileKey;
    PdfProcedure footerProc;
    std::int32_t footerArgument = 0;
    std::int32_t pageNumberFooterFlag = 0;
    std::int32_t pageBreakPermission = 1;
    std::int32_t footerEnabled = 0;
    std::int32_t fontNumber = 0;
    std::string fontFamily;
    std::string fontStyle;
    std::int32_t fontSizePt = 12;
    float fontSize = 0; // user units
    std::int32_t underlineFlag = 0;
    std::int32_t unicodeFlag = 0;
    PdfProcedure headerProc;
    std::int32_t headerArgument = 0;
    std::int32_t headerEnabled = 0;
    std::string languageCode = "DE";
    std::int32_t numberOption = 1;
    std::string decimalSeparator = ",";
    float leftMargin = 0;
    float topMargin = 0;
    float rightMargin = 0;
    float cellMargin = 0;
    float x = 0;
    float y = 0;
    float pageHeight = 0;
    float pageWidth = 0;
    float pageHeightPt = 0;
    float pageWidthPt = 0;
    std::string orientation = "P";
    float transformOpen = 0; // angle of an open rotation, 0 when none is open
    float lastCellHeight = 0;
    std::string pageCountAlias;
    std::int32_t countedPageNumber = 1;
    std::int32_t autoPageBreak = 1;
    float breakMargin = 0;
    float breakTrigger = 0;
    std::vector<PdfLinkEntry> links;
    std::vector<PdfPageEntry> pages; // index 0 is the page tree root, pages from 1
    std::vector<PdfTocEntry> tableOfContents;
    InsertionOrderedMap<PdfFontEntry> fonts;
    std::string currentFontKey;
    InsertionOrderedMap<PdfLinkAnnotEntry> linkAnnotations;
    InsertionOrderedMap<std::vector<std::string>> pageAnnotations;
    // Internal-link annotations and their link numbers; their destinations are written at assembly,
    // when every target page exists.
    std::vector<std::pair<std::string, std::int32_t>> internalLinkAnnotations;
    std::int64_t permissionsValue = 0; // P of the encryption dictionary

    // Installed by the security handler together with the encryption flag.
    std::unique_ptr<PdfEncryption> encryption;
    // Holds the stream ranges of objects whose stream lives on disk; created by whoever spools first.
    std::unique_ptr<PdfSpoolFile> spool;

    // The object of a reference text such as "12 0 R", or nullptr.
    PdfObject* object(std::string_view reference);
};

// The writer's state: the open documents by number, the current one, and the services it uses. The
// program has one, the default; a test installs a fresh one.
struct PdfModule
{
    std::map<std::int32_t, std::shared_ptr<PdfDocument>> PdfDocuments;
    std::shared_ptr<PdfDocument> current; // the document looked up last; internal routines act on it

    const Clock* clock = nullptr;          // nullptr: the program clock
    MessageRequester* messages = nullptr;  // nullptr: the installed message requester
    PdfOutputFiles* outputFiles = nullptr; // nullptr: safe files on disk
    // The system error (errno) of the last file the writer could not create or write: the output
    // file or the spool file; 0 when it is not known. Set at each such failure, cleared by PdfCreate.
    int lastSystemError = 0;
};

PdfModule& pdfModule();

// Installs module as the writer's state (nullptr: the default one) and returns the one installed before.
PdfModule* installPdfModule(PdfModule* module);

// Looks doc up and makes it current; nullptr when it is not open (the current document stays).
PdfDocument* findPdfDocument(std::int32_t doc);

// The current document, or nullptr.
PdfDocument* currentPdfDocument();

// The module's services.
const Clock& pdfClock();

MessageRequester* pdfMessages();

PdfOutputFiles& pdfOutputFiles();

// Records a failure as the document's last error.
void setPdfError(PdfDocument& document, PdfError error);

} // namespace folvex
