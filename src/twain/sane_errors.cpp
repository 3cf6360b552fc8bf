#include "twain/sane_errors.h"

namespace folvex {

std::string notReadyText(const std::string& reason)
{
    return std::string(InterfaceNotStartedPhrase) + ": " + reason;
}

LastError errorOfStatus(SANE_Status status)
{
    const std::string said = std::string(" (") + sane_strstatus(status) + ")";
    switch (status) {
        case SANE_STATUS_IO_ERROR:
            return {ScannerErrorCode::NotReady, notReadyText("Ein-/Ausgabefehler beim Scanner" + said)};
        case SANE_STATUS_DEVICE_BUSY:
            return {ScannerErrorCode::NotReady, notReadyText("Der Scanner ist belegt" + said)};
        case SANE_STATUS_ACCESS_DENIED:
            return {ScannerErrorCode::NotReady, notReadyText("Kein Zugriff auf den Scanner" + said)};
        case SANE_STATUS_JAMMED:
            return {ScannerErrorCode::DeviceFault, "Papierstau im Scanner" + said};
        case SANE_STATUS_COVER_OPEN:
            return {ScannerErrorCode::DeviceFault, "Die Abdeckung des Scanners ist offen" + said};
        case SANE_STATUS_NO_MEM:
            return {ScannerErrorCode::DeviceFault, "Zu wenig Speicher zum Scannen" + said};
        case SANE_STATUS_INVAL:
            return {ScannerErrorCode::DeviceFault, "Der Scanner lehnt die Einstellungen ab" + said};
        default:
            return {ScannerErrorCode::DeviceFault, "Der Scanner meldet einen Fehler" + said};
    }
}

LastError hungError()
{
    return {ScannerErrorCode::NotReady, notReadyText("Der Scanner antwortet nicht.")};
}

LastError goneError()
{
    return {
        ScannerErrorCode::NotReady,
        notReadyText("Der Scanner ist nicht geöffnet oder nicht mehr verbunden.")};
}

LastError unknownDeviceError(const std::string& productName)
{
    return {
        ScannerErrorCode::NotReady,
        notReadyText("Der Scanner \u201E" + productName + "\u201C ist nicht angeschlossen.")};
}

LastError badCallError(const std::string& what)
{
    return {ScannerErrorCode::BadCall, "Ungültiger Aufruf der Scannerbibliothek: " + what};
}

LastError pageNotWrittenError(const std::string& path, const std::string& reason)
{
    return {
        ScannerErrorCode::PageNotWritten,
        "Die Seite " + path + " konnte nicht gespeichert werden: " + reason};
}

std::string genericErrorText(ScannerErrorCode code)
{
    switch (code) {
        case ScannerErrorCode::None:
            return "Kein Fehler.";
        case ScannerErrorCode::NotReady:
            return notReadyText("Der Scanner ist nicht bereit.");
        case ScannerErrorCode::DeviceFault:
            return "Der Scanner meldet einen Fehler.";
        case ScannerErrorCode::PageNotWritten:
            return "Eine gescannte Seite konnte nicht gespeichert werden.";
        case ScannerErrorCode::BadCall:
            return "Ungültiger Aufruf der Scannerbibliothek.";
    }
    return "Unbekannter Fehler.";
}

} // namespace folvex
