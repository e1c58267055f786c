// The builder's writer of the three container forms.
#include "u_payloadwrite.h"

#include <cstring>

namespace {

void Append16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Append32(std::string& out, uint32_t v) {
    Append16(out, v & 0xFFFF);
    Append16(out, v >> 16);
}

void Append64(std::string& out, uint64_t v) {
    Append32(out, static_cast<uint32_t>(v));
    Append32(out, static_cast<uint32_t>(v >> 32));
}

// The record of a marked form: its code-page texts are empty, their UTF-16 forms follow it.
std::string RecordWithoutTexts(const SettingsRecord& record) {
    SettingsRecord r = record;
    memset(r.CmdParameters, 0, sizeof(r.CmdParameters));
    memset(r.CustomFolder, 0, sizeof(r.CustomFolder));
    uint8_t bytes[SettingsRecordSize];
    EncodeSettings(r, bytes);
    return std::string(reinterpret_cast<char*>(bytes), SettingsRecordSize);
}

// A marked form's start: the record without its texts, then a pseudo-entry header that the original
// form refuses (kind, NameLength -2^31, DataSize 0, magic), the version, the two text lengths, the
// form's own fields, the texts (cut to 2047 and 260 units) and the ByteSum of all of it.
std::string MarkedStart(const SettingsRecord& record, uint8_t kind, const char* magic, uint16_t version,
                        const Utf16Char* cmdParameters, size_t cmdLength, const Utf16Char* customFolder,
                        size_t folderLength, const std::string& fields) {
    size_t cmd = CutUtf16(cmdParameters, cmdLength, MaxCmdParametersUnits);
    size_t folder = CutUtf16(customFolder, folderLength, MaxCustomFolderUnits);
    std::string block(1, static_cast<char>(kind));
    Append32(block, ExtensionMarkName);
    Append32(block, 0);
    block.append(magic, 8);
    Append16(block, version);
    Append16(block, static_cast<uint32_t>(cmd));
    Append16(block, static_cast<uint32_t>(folder));
    block += fields;
    block += StoredName(cmdParameters, cmd);
    block += StoredName(customFolder, folder);
    Append32(block, ByteSum(block.data(), static_cast<uint32_t>(block.size())));
    return RecordWithoutTexts(record) + block;
}

}  // namespace

PayloadForm FormFor(bool textWithoutCodePageForm, uint64_t largestFile) {
    return textWithoutCodePageForm || largestFile >= OriginalSizeLimit ? PayloadForm::Extended
                                                                       : PayloadForm::Original;
}

bool IsStorableUtf16(const Utf16Char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        uint32_t u = static_cast<uint32_t>(text[i]);
        if (!u || (u & 0xFC00) == 0xDC00) return false;
        if ((u & 0xFC00) == 0xD800 && (++i == length || (static_cast<uint32_t>(text[i]) & 0xFC00) != 0xDC00))
            return false;
    }
    return true;
}

size_t CutUtf16(const Utf16Char* text, size_t length, size_t units) {
    if (length <= units) return length;
    // A cut between the two halves of a pair takes the pair out whole.
    return units && (static_cast<uint32_t>(text[units - 1]) & 0xFC00) == 0xD800 ? units - 1 : units;
}

std::string StoredName(const Utf16Char* name, size_t length) {
    std::string out;
    out.reserve(2 * length);
    for (size_t i = 0; i < length; ++i) Append16(out, static_cast<uint32_t>(name[i]));
    return out;
}

std::string EncodePayloadStart(PayloadForm form, const SettingsRecord& record, const Utf16Char* cmdParameters,
                               size_t cmdLength, const Utf16Char* customFolder, size_t folderLength) {
    if (form == PayloadForm::Original) {
        uint8_t bytes[SettingsRecordSize];
        EncodeSettings(record, bytes);
        return std::string(reinterpret_cast<char*>(bytes), SettingsRecordSize);
    }
    return MarkedStart(record, ExtensionKind, ExtensionMagic, ExtensionVersion, cmdParameters, cmdLength,
                       customFolder, folderLength, std::string());
}

std::string EncodeCompactStart(const SettingsRecord& record, const Utf16Char* cmdParameters, size_t cmdLength,
                               const Utf16Char* customFolder, size_t folderLength, const CompactLayout& layout) {
    std::string fields;
    Append32(fields, layout.frameSize);
    Append64(fields, layout.dataSize);
    Append32(fields, layout.directorySize);
    Append32(fields, layout.packedDirectory);
    Append32(fields, layout.directorySum);
    return MarkedStart(record, CompactKind, CompactMagic, CompactVersion, cmdParameters, cmdLength, customFolder,
                       folderLength, fields);
}

std::string EncodeEntry(PayloadForm form, uint8_t kind, const std::string& storedName, uint64_t size,
                        uint32_t time, uint32_t attributes) {
    std::string out(1, static_cast<char>(kind));
    Append32(out, static_cast<uint32_t>(storedName.size()));
    Append32(out, static_cast<uint32_t>(size));
    if (form == PayloadForm::Extended) Append32(out, static_cast<uint32_t>(size >> 32));
    Append32(out, time);
    Append32(out, attributes);
    return out + storedName;
}

std::string EncodeTerminator(PayloadForm form) {
    return std::string(form == PayloadForm::Extended ? ExtendedHeaderSize : EntryHeaderSize, '\0');
}

std::string EncodeDirectoryEntry(uint8_t kind, const std::string& storedName, uint64_t size, uint32_t time,
                                 uint32_t attributes, uint32_t checksum) {
    std::string out(1, static_cast<char>(kind));
    Append16(out, static_cast<uint32_t>(storedName.size() / 2));
    Append64(out, size);
    Append32(out, time);
    Append32(out, attributes);
    Append32(out, checksum);
    return out + storedName;
}

std::string EncodeFrameHeader(uint32_t plainLength, uint32_t packedLength) {
    std::string out;
    Append32(out, plainLength);
    Append32(out, packedLength);
    return out;
}
