# Run as a script (cmake -P) at build time: makes one licence file of the build from a text the system
# provides. MODE crlf: copy with CR LF line ends; copy: copy unchanged; embed: a C++ source defining
# the text as the byte array ProgramLicenceBytes. SOURCE and TARGET name the two files.
if(MODE STREQUAL "crlf")
    file(READ "${SOURCE}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE "${TARGET}" "${text}")
elseif(MODE STREQUAL "copy")
    file(COPY_FILE "${SOURCE}" "${TARGET}")
elseif(MODE STREQUAL "embed")
    if(EXISTS "${SOURCE}")
        file(READ "${SOURCE}" hex HEX)
    else()
        set(hex "")
    endif()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    file(WRITE "${TARGET}"
        "// Generated at build time from ${SOURCE}; not edited by hand.\n"
        "#include \"shell/help_texts.h\"\n\n"
        "namespace folvex {\n"
        "namespace {\n"
        "const char ProgramLicenceBytes[] = {${bytes}'\\0'};\n"
        "} // namespace\n\n"
        "std::string_view programLicenceText()\n{\n"
        "    return {ProgramLicenceBytes, sizeof ProgramLicenceBytes - 1};\n}\n\n"
        "} // namespace folvex\n")
else()
    message(FATAL_ERROR "LicenceFile.cmake: unknown MODE \"${MODE}\"")
endif()
