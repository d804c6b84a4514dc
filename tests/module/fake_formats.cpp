#include "fake_formats.h"

#include "host/streams.h"
#include "model/format_io.h"

namespace pictra::test {

FormatCalls calls;
std::function<int32_t(IconRecord*)> fillRecord;
int32_t writerResult = 1;

void resetFakeFormats() {
    calls = FormatCalls{};
    fillRecord = nullptr;
    writerResult = 1;
}

namespace {

int32_t readAs(const char* reader, StreamHandle stream, const char* fileName, IconRecord* record) {
    calls.reader = reader;
    calls.fileName = fileName ? fileName : "";
    calls.byteAfterMagic = host::readStreamByte(stream);
    return fillRecord ? fillRecord(record) : 1;
}

int32_t writeAs(const char* writer, StreamHandle stream, IconImage* images) {
    calls.writer = writer;
    calls.images = images;
    host::writeStream(stream, "ok", 2);
    return writerResult;
}

}  // namespace
}  // namespace pictra::test

using pictra::test::calls;

int32_t ReadAmigaIcon(StreamHandle stream, IconRecord* record, PictureBudget*) {
    return pictra::test::readAs("amiga", stream, nullptr, record);
}
int32_t ReadPngIcon(StreamHandle stream, const char* fileName, IconRecord* record, PictureBudget*) {
    return pictra::test::readAs("png", stream, fileName, record);
}
int32_t ReadWindowsIcon(StreamHandle stream, IconRecord* record, PictureBudget*) {
    return pictra::test::readAs("windows", stream, nullptr, record);
}
int32_t ReadMacIcon(StreamHandle stream, IconRecord* record, PictureBudget*) {
    return pictra::test::readAs("mac", stream, nullptr, record);
}

int32_t WriteAmigaIcon(StreamHandle stream, int32_t, IconImage* images, const IconAttributes*, int32_t compress) {
    calls.compress = compress;
    return pictra::test::writeAs("amiga", stream, images);
}
int32_t WritePngIcon(StreamHandle stream, IconImage* images, const IconAttributes*) {
    return pictra::test::writeAs("png", stream, images);
}
int32_t WriteWindowsIcon(StreamHandle stream, IconImage* images, int32_t compress) {
    calls.compress = compress;
    return pictra::test::writeAs("windows", stream, images);
}
int32_t WriteMacIcon(StreamHandle stream, IconImage* images) {
    return pictra::test::writeAs("mac", stream, images);
}
