// zlib's inflate refers to crc32 for gzip streams, which SFX files never hold; this small
// bitwise CRC-32 keeps zlib's 8 KiB of tables out of every SFX file. It computes the same
// values as zlib's own.
extern "C" unsigned long crc32(unsigned long crc, const unsigned char* buf, unsigned int len) {
    if (!buf) return 0;
    unsigned long c = ~crc & 0xFFFFFFFFUL;
    while (len--) {
        c ^= *buf++;
        for (int k = 0; k < 8; ++k) c = c & 1 ? (c >> 1) ^ 0xEDB88320UL : c >> 1;
    }
    return ~c & 0xFFFFFFFFUL;
}
