// The builder's writer of both container forms.
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
    SettingsRecord r = record;
    if (form == PayloadForm::Extended) {
        memset(r.CmdParameters, 0, sizeof(r.CmdParameters));
        memset(r.CustomFolder, 0, sizeof(r.CustomFolder));
    }
    uint8_t bytes[SettingsRecordSize];
    EncodeSettings(r, bytes);
    std::string out(reinterpret_cast<char*>(bytes), SettingsRecordSize);
    if (form == PayloadForm::Original) return out;

    size_t cmd = CutUtf16(cmdParameters, cmdLength, MaxCmdParametersUnits);
    size_t folder = CutUtf16(customFolder, folderLength, MaxCustomFolderUnits);
    std::string block;
    block += static_cast<char>(ExtensionKind);
    Append32(block, ExtensionMarkName);
    Append32(block, 0);
    block.append(ExtensionMagic, sizeof(ExtensionMagic));
    Append16(block, ExtensionVersion);
    Append16(block, static_cast<uint32_t>(cmd));
    Append16(block, static_cast<uint32_t>(folder));
    block += StoredName(cmdParameters, cmd);
    block += StoredName(customFolder, folder);
    Append32(block, ByteSum(block.data(), static_cast<uint32_t>(block.size())));
    return out + block;
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
