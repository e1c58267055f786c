// zlib's own Adler-32 comes in one object with routines the extractor never calls (combining
// checksums, 64-bit variants): this one computes the same values in a fraction of the size,
// and at least as fast at -Os. Sums are reduced every 5552 bytes, before b can overflow.
extern "C" unsigned long adler32(unsigned long adler, const unsigned char* buf, unsigned int len) {
    if (!buf) return 1;
    unsigned long a = adler & 0xFFFF, b = (adler >> 16) & 0xFFFF;
    while (len) {
        unsigned int n = len < 5552 ? len : 5552;
        len -= n;
        for (; n >= 4; n -= 4, buf += 4) {
            a += buf[0];
            b += a;
            a += buf[1];
            b += a;
            a += buf[2];
            b += a;
            a += buf[3];
            b += a;
        }
        for (; n; --n) {
            a += *buf++;
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    return (b << 16) | a;
}
