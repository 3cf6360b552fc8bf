#pragma once
// The image library's functions the program takes by name at start-up, in the order they are looked
// up and checked: X(name) stands for the library's "FreeImage_" + name. Free of the library's header,
// so that stand-in libraries can be built from the same list.

#define FOLVEX_FREEIMAGE_FUNCTIONS(X)                                                                        \
    X(GetVersion)                                                                                            \
    X(SetOutputMessage)                                                                                      \
    X(GetInfo)                                                                                               \
    X(GetBits)                                                                                               \
    X(GetPitch)                                                                                              \
    X(GetHeight)                                                                                             \
    X(Load)                                                                                                  \
    X(Unload)                                                                                                \
    X(Save)                                                                                                  \
    X(GetBPP)                                                                                                \
    X(GetWidth)                                                                                              \
    X(ConvertToGreyscale)                                                                                    \
    X(GetDotsPerMeterX)                                                                                      \
    X(GetDotsPerMeterY)                                                                                      \
    X(ConvertTo24Bits)                                                                                       \
    X(Threshold)                                                                                             \
    X(ConvertFromRawBits)                                                                                    \
    X(ConvertToRawBits)                                                                                      \
    X(Rotate)                                                                                                \
    X(Copy)                                                                                                  \
    X(GetPixelColor)                                                                                         \
    X(ConvertTo4Bits)                                                                                        \
    X(ConvertTo8Bits)                                                                                        \
    X(Dither)                                                                                                \
    X(Allocate)                                                                                              \
    X(Rescale)                                                                                               \
    X(Paste)                                                                                                 \
    X(FillBackground)                                                                                        \
    X(ColorQuantize)                                                                                         \
    X(AppendPage)                                                                                            \
    X(CreateTag)                                                                                             \
    X(DeleteTag)                                                                                             \
    X(GetTagKey)                                                                                             \
    X(SetTagKey)                                                                                             \
    X(SetTagType)                                                                                            \
    X(SetTagCount)                                                                                           \
    X(SetTagLength)                                                                                          \
    X(SetTagValue)                                                                                           \
    X(SetMetadata)                                                                                           \
    X(OpenMultiBitmap)                                                                                       \
    X(CloseMultiBitmap)                                                                                      \
    X(GetPageCount)                                                                                          \
    X(LockPage)                                                                                              \
    X(UnlockPage)                                                                                            \
    X(GetImageType)                                                                                          \
    X(ConvertTo32Bits)                                                                                       \
    X(SetDotsPerMeterX)                                                                                      \
    X(SetDotsPerMeterY)                                                                                      \
    X(GetScanLine)                                                                                           \
    X(GetPalette)                                                                                            \
    X(GetColorType)                                                                                          \
    X(Clone)                                                                                                 \
    X(ConvertToStandardType)
