// Method 97: a WavPack file, opened with libwavpack straight from the entry's
// data stream, written back out as the original audio file: the stored
// wrapper's header (the RIFF header of a WAV file), the samples in their
// stored width and byte order, then the wrapper's trailing bytes.
#include <wavpack/wavpack.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "archive/codecs/CodecErrors.h"
#include "archive/codecs/Codecs.h"

namespace arc {

namespace {

// At most this many samples (per channel) are unpacked in one call, and the
// formatted bytes collect in a buffer of this size before they are written.
constexpr uint32_t kSamplesPerCall = 4096;
constexpr size_t kOutBufSize = 262144;

// libwavpack's reader callbacks over one of our streams. The library pushes
// back at most one byte at a time; seeking is offered only where the stream
// can do it (encrypted entry data cannot).
class TArcWavPackReader {
  public:
    explicit TArcWavPackReader(rtl::TStream& stream) : FStream(stream) {
        try {
            FStart = stream.Position();
            FLength = stream.Size() - FStart;
            stream.SetPosition(FStart);
            FCanSeek = true;
        } catch (const rtl::Exception&) {
            FCanSeek = false;
        }
    }
    WavpackStreamReader64* Callbacks() { return &kCallbacks; }

  private:
    static TArcWavPackReader& Self(void* id) { return *static_cast<TArcWavPackReader*>(id); }

    static int32_t ReadBytes(void* id, void* data, int32_t count) {
        TArcWavPackReader& r = Self(id);
        auto* p = static_cast<uint8_t*>(data);
        int32_t done = 0;
        if (count > 0 && r.FPushedBack >= 0) {
            p[done++] = static_cast<uint8_t>(r.FPushedBack);
            r.FPushedBack = -1;
        }
        try {
            while (done < count) {
                size_t n = r.FStream.Read(p + done, static_cast<size_t>(count - done));
                if (n == 0) break;
                done += static_cast<int32_t>(n);
            }
        } catch (const rtl::Exception&) {
            // The library sees a short read; the entry then fails as damaged.
        }
        return done;
    }
    static int64_t GetPos(void* id) {
        TArcWavPackReader& r = Self(id);
        try {
            return r.FStream.Position() - r.FStart - (r.FPushedBack >= 0 ? 1 : 0);
        } catch (const rtl::Exception&) {
            return -1;
        }
    }
    static int SetPosAbs(void* id, int64_t pos) {
        TArcWavPackReader& r = Self(id);
        if (!r.FCanSeek || pos < 0 || pos > r.FLength) return -1;
        r.FPushedBack = -1;
        r.FStream.SetPosition(r.FStart + pos);
        return 0;
    }
    static int SetPosRel(void* id, int64_t delta, int mode) {
        TArcWavPackReader& r = Self(id);
        if (!r.FCanSeek) return -1;
        int64_t base = mode == SEEK_SET ? 0 : mode == SEEK_END ? r.FLength : GetPos(id);
        return SetPosAbs(id, base + delta);
    }
    static int PushBackByte(void* id, int c) {
        TArcWavPackReader& r = Self(id);
        if (r.FPushedBack >= 0) return EOF;
        r.FPushedBack = c & 0xFF;
        return c;
    }
    static int64_t GetLength(void* id) {
        TArcWavPackReader& r = Self(id);
        return r.FCanSeek ? r.FLength : 0;
    }
    static int CanSeek(void* id) { return Self(id).FCanSeek ? 1 : 0; }

    static inline WavpackStreamReader64 kCallbacks = {ReadBytes, nullptr,      GetPos,    SetPosAbs,
                                                      SetPosRel, PushBackByte, GetLength, CanSeek,
                                                      nullptr,   nullptr};

    rtl::TStream& FStream;
    int64_t FStart = 0, FLength = 0;
    int FPushedBack = -1;
    bool FCanSeek = false;
};

struct TWavpackCloser {
    void operator()(WavpackContext* context) const { WavpackCloseFile(context); }
};
using TWavpackHandle = std::unique_ptr<WavpackContext, TWavpackCloser>;

// Turns unpacked samples (one 32-bit value each) into the stored bytes: WAV
// data is little-endian, unsigned for 8-bit and signed otherwise; the
// qualify mode tells where the original file differed.
class TSampleFormatter {
  public:
    TSampleFormatter(int bytesPerSample, int qualifyMode)
        : FBytes(bytesPerSample), FBigEndian((qualifyMode & QMODE_BIG_ENDIAN) != 0) {
        if (FBytes == 1)
            FFlip = (qualifyMode & QMODE_SIGNED_BYTES) ? 0 : 0x80;
        else if (qualifyMode & QMODE_UNSIGNED_WORDS)
            FFlip = 1u << (FBytes * 8 - 1);
    }
    uint8_t* Put(const int32_t* samples, size_t count, uint8_t* out) const {
        for (size_t i = 0; i < count; ++i) {
            const uint32_t v = static_cast<uint32_t>(samples[i]) ^ FFlip;
            for (int b = 0; b < FBytes; ++b) {
                const int shift = FBigEndian ? (FBytes - 1 - b) * 8 : b * 8;
                *out++ = static_cast<uint8_t>(v >> shift);
            }
        }
        return out;
    }

  private:
    int FBytes;
    bool FBigEndian;
    uint32_t FFlip = 0;
};

void WriteWrapper(WavpackContext* context, rtl::TStream& dest) {
    const uint32_t bytes = WavpackGetWrapperBytes(context);
    if (bytes > 0) dest.WriteBuffer(WavpackGetWrapperData(context), bytes);
    WavpackFreeWrapper(context);
}

void WriteSamples(WavpackContext* context, rtl::TStream& dest) {
    const int channels = WavpackGetNumChannels(context);
    const int bytesPerSample = WavpackGetBytesPerSample(context);
    if (channels < 1 || bytesPerSample < 1 || bytesPerSample > 4)
        throw EArcWavPackError(CodecTexts.Compose(kArcMsgWavPackDamagedRes));
    const size_t frameBytes = static_cast<size_t>(channels) * bytesPerSample;
    // One call's samples always fit the output buffer.
    const uint32_t perCall = static_cast<uint32_t>(
        std::min<size_t>(kSamplesPerCall, std::max<size_t>(1, kOutBufSize / frameBytes)));
    std::vector<int32_t> samples(static_cast<size_t>(perCall) * channels);
    std::vector<uint8_t> out(std::max(kOutBufSize, frameBytes));
    const TSampleFormatter formatter(bytesPerSample, WavpackGetQualifyMode(context));
    const int64_t total = WavpackGetNumSamples64(context); // -1 when unknown
    int64_t unpacked = 0;
    size_t used = 0;
    for (;;) {
        const uint32_t got = WavpackUnpackSamples(context, samples.data(), perCall);
        if (got == 0) break;
        unpacked += got;
        if (used + got * frameBytes > out.size()) {
            dest.WriteBuffer(out.data(), used);
            used = 0;
        }
        used =
            formatter.Put(samples.data(), size_t(got) * channels, out.data() + used) - out.data();
    }
    if (used > 0) dest.WriteBuffer(out.data(), used);
    if (WavpackGetNumErrors(context) > 0)
        throw EArcWavPackError(CodecTexts.Compose(kArcMsgWavPackDamagedRes));
    if (total >= 0 && unpacked < total)
        throw EArcWavPackError(CodecTexts.Compose(kArcMsgWavPackShortRes));
}

} // namespace

void DecodeWavPack(rtl::TStream& source, rtl::TStream& dest) {
    TArcWavPackReader reader(source);
    char error[80] = {};
    TWavpackHandle context(WavpackOpenFileInputEx64(reader.Callbacks(), &reader, nullptr, error,
                                                    OPEN_WRAPPER | OPEN_ALT_TYPES, 0));
    // The library's own words are English and never translated.
    if (!context) throw EArcWavPackError(rtl::TText(error, error));
    WriteWrapper(context.get(), dest);
    WriteSamples(context.get(), dest);
    // The trailing wrapper travels in the last block, or is found by seeking.
    if (WavpackGetWrapperBytes(context.get()) == 0) WavpackSeekTrailingWrapper(context.get());
    WriteWrapper(context.get(), dest);
}

} // namespace arc
