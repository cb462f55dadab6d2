// The notation's two promises: CtrlStrToStr either converts or raises EConvertError, and
// every text without character 0 comes back unchanged from CtrlStrToStr(StrToCtrlStr(t)).
// The first input byte picks how the rest is read: odd as UTF-16, even as Latin-1 bytes
// (the way received data arrives).

#include "platform/errors.h"
#include "scale/packethelpers.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(const QString& text)
{
    try {
        (void)CtrlStrToStr(text);
    } catch (const EConvertError&) {
        // Malformed notation is an expected answer.
    }

    QString plain = text;
    plain.remove(QChar(u'\0'));
    const QString notation = StrToCtrlStr(text);
    QString back;
    try {
        back = CtrlStrToStr(notation);
    } catch (const EConvertError& e) {
        std::fprintf(stderr, "notation of a plain text raised: %s\n", e.what());
        std::abort();
    }
    if (back != plain) {
        std::fprintf(stderr, "round trip changed the text: %s\n", qUtf8Printable(notation));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool utf16 = data[0] & 1;
    ++data;
    --size;
    if (utf16) {
        QString text(qsizetype(size / 2), Qt::Uninitialized);
        for (size_t i = 0; i < size / 2; ++i)
            text[qsizetype(i)] = QChar(char16_t(data[2 * i] | (data[2 * i + 1] << 8)));
        Check(text);
    } else {
        Check(QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size)));
    }
    return 0;
}
