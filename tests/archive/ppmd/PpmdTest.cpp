// The PPMd decoder (method 98): archives from 7-Zip and python3-ppmd with
// both restoration methods, the model running out of memory, the output
// blocks, refused headers, and cut and damaged streams.
#include <gtest/gtest.h>

#include <map>

#include "archive/ArcErrors.h"
#include "archive/Crc32.h"
#include "archive/ZipFormat.h"
#include "archive/ppmd/PpmdDecoder.h"
#include "archive/ppmd/PpmdErrors.h"
#include "archive/ppmd/PpmdModel.h"
#include "platform/Files.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace arc;
using testing_support::DataFile;
using testing_support::ReadFileBytes;

namespace {

std::string Ppmd(const std::string& name) {
    return DataFile("zip-ppmd/" + name);
}

struct RawEntry {
    std::string name, data; // data: the 16-bit header and the stream
    int64_t size;
    uint32_t crc;
};

std::vector<RawEntry> RawEntries(const std::string& archive) {
    TArcUnZipper zip;
    zip.OpenArchive(Ppmd(archive));
    const std::string bytes = ReadFileBytes(Ppmd(archive));
    std::vector<RawEntry> entries;
    for (int i = 0; i < zip.Count(); ++i) {
        TArcZipItem& item = zip.Items(i);
        const size_t start = ziptest::DataOffset(bytes, item);
        entries.push_back({item.FileName(), bytes.substr(start, item.CompressedSize()),
                           item.UncompressedSize(), item.CRC32()});
    }
    return entries;
}

RawEntry EntryNamed(const std::string& archive, const std::string& name) {
    for (RawEntry& e : RawEntries(archive))
        if (e.name == name) return e;
    ADD_FAILURE() << archive << " has no " << name;
    return {};
}

// What the model makes of a raw entry, symbol by symbol.
struct ModelRun {
    std::string output;
    int last = 0; // the result that ended decoding
    bool overrun = false, clean = false;
    unsigned restorations = 0;
};

ModelRun RunModel(const std::string& data, size_t limit = 1 << 24) {
    ModelRun run;
    const unsigned word = uint8_t(data[0]) | uint8_t(data[1]) << 8;
    rtl::TMemoryStream in;
    in.WriteBuffer(data.data() + 2, data.size() - 2);
    in.SetPosition(0);
    auto model = std::make_unique<TArcPpmdModel>();
    EXPECT_TRUE(model->Allocate((((word >> 4) & 0xFF) + 1) << 20));
    model->Start(in, (word & 15) + 1, word >> 12);
    while ((run.last = model->DecodeSymbol()) >= 0 && !model->InputOverrun() &&
           run.output.size() < limit)
        run.output += static_cast<char>(run.last);
    run.overrun = model->InputOverrun();
    run.clean = model->FinishedCleanly();
    run.restorations = model->Restorations();
    return run;
}

// The entry decoder's outcome: "" when it decoded, else its message.
std::string DecodeOutcome(const std::string& data, std::string* output = nullptr) {
    rtl::TMemoryStream in, out;
    in.WriteBuffer(data.data(), data.size());
    in.SetPosition(0);
    try {
        DecodePpmdEntry(in, out);
    } catch (const EArcZipPpmdData& e) {
        return e.what();
    }
    if (output) *output = std::string(out.Bytes().begin(), out.Bytes().end());
    return "";
}

// Records the size of every write.
class TWriteSizes : public rtl::TStream {
  public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t count) override {
        FSizes.push_back(count);
        return count;
    }
    int64_t Seek(int64_t, rtl::TSeekOrigin) override { return 0; }
    void SetSize(int64_t) override {}
    std::vector<size_t> FSizes;
};

const char* const kArchives[] = {"7z-o2-mem1m.zip",  "7z-o6.zip",          "7z-o8-mem16m.zip",
                                 "7z-o16-mem1m.zip", "7z-o16-mem256m.zip", "7z-mx9-cutoff.zip",
                                 "py-ppmd.zip"};

} // namespace

TEST(ExtractPpmd, EveryEntryOfEveryMakerComesOutWithItsSizeAndCrc) {
    for (const char* archive : kArchives) {
        ziptest::Unzip u;
        u.ExtractAll(Ppmd(archive));
        EXPECT_TRUE(u.failures.empty()) << archive << ":\n" << u.Failures();
        for (int i = 0; i < u.zip.Count(); ++i) {
            TArcZipItem& item = u.zip.Items(i);
            // 7-Zip stores what is empty; python3-ppmd's entries are all PPMd.
            if (item.UncompressedSize() != 0) {
                EXPECT_EQ(item.CompressionMethod(), int(TArcZipMethod::PPMd))
                    << archive << " " << item.FileName();
            }
            EXPECT_EQ(platform::FileSizeByName(u.Out(item.FileName())), item.UncompressedSize())
                << archive << " " << item.FileName();
        }
    }
}

TEST(PpmdModel, FullModelsRestartOrAreCutDownAndStillDecodeExactly) {
    // Entries whose model fills up: {archive/entry, restoration method, at least this many
    // restorations}. (The large archives of arcunzip_ppmd_cli fill their models far more often.)
    const std::map<std::string, std::pair<unsigned, unsigned>> filling = {
        {"7z-o16-mem1m.zip/fill.bin", {0, 3}},  {"7z-o16-mem1m.zip/text.txt", {0, 1}},
        {"7z-mx9-cutoff.zip/fill.bin", {1, 8}}, {"7z-mx9-cutoff.zip/text.txt", {1, 1}},
        {"py-ppmd.zip/fill.bin", {1, 8}},
    };
    size_t seen = 0;
    for (const char* archive : kArchives) {
        for (const RawEntry& e : RawEntries(archive)) {
            if (e.size == 0) continue;
            const std::string where = std::string(archive) + "/" + e.name;
            ModelRun run = RunModel(e.data);
            EXPECT_EQ(run.last, TArcPpmdModel::kEndMark) << where;
            EXPECT_FALSE(run.overrun) << where;
            EXPECT_TRUE(run.clean) << where;
            EXPECT_EQ(int64_t(run.output.size()), e.size) << where;
            TArcCrc32 crc;
            crc.Update(run.output.data(), run.output.size());
            EXPECT_EQ(crc.Value(), e.crc) << where;
            auto f = filling.find(where);
            if (f == filling.end()) {
                EXPECT_EQ(run.restorations, 0u) << where;
                continue;
            }
            ++seen;
            EXPECT_EQ(unsigned(uint8_t(e.data[1]) >> 4), f->second.first) << where;
            EXPECT_GE(run.restorations, f->second.second) << where;
        }
    }
    EXPECT_EQ(seen, filling.size());
}

TEST(PpmdDecoder, WritesBlocksOf4096Bytes) {
    for (const RawEntry& e : RawEntries("7z-o6.zip")) {
        rtl::TMemoryStream in;
        in.WriteBuffer(e.data.data(), e.data.size());
        in.SetPosition(0);
        TWriteSizes out;
        DecodePpmdEntry(in, out);
        ASSERT_EQ(out.FSizes.size(), size_t((e.size + 4095) / 4096)) << e.name;
        for (size_t i = 0; i + 1 < out.FSizes.size(); ++i)
            EXPECT_EQ(out.FSizes[i], 4096u) << e.name;
        EXPECT_EQ(out.FSizes.back(), size_t(e.size - 4096 * (out.FSizes.size() - 1))) << e.name;
    }
}

TEST(PpmdDecoder, RefusesHeadersItCannotDecode) {
    // A valid order-6, 1 MiB restart stream with its header replaced.
    const std::string stream = EntryNamed("7z-o6.zip", "small.txt").data.substr(2);
    const struct {
        uint16_t header;
        const char* message;
    } cases[] = {
        {0x0000, kArcMsgPpmdOrder},       // order 1
        {0x00F0, kArcMsgPpmdOrder},       // order 1, 16 MiB
        {0x2005, kArcMsgPpmdRestoration}, // 2: freezing, which the format leaves undefined
        {0xF005, kArcMsgPpmdRestoration}, {0x0005, ""}, // the original header decodes
    };
    for (const auto& c : cases) {
        std::string data = {char(c.header & 0xFF), char(c.header >> 8)};
        EXPECT_EQ(DecodeOutcome(data + stream), c.message) << std::hex << c.header;
    }
    EXPECT_EQ(DecodeOutcome(""), kArcMsgPpmdTruncated);
    EXPECT_EQ(DecodeOutcome("\x05"), kArcMsgPpmdTruncated);
}

TEST(PpmdDecoder, EveryCutOfAStreamIsReportedAsCut) {
    const RawEntry e = EntryNamed("7z-o6.zip", "small.txt"); // 3,000 bytes
    for (size_t cut = 2; cut < e.data.size(); ++cut)
        ASSERT_EQ(DecodeOutcome(e.data.substr(0, cut)), kArcMsgPpmdTruncated) << cut;
}

TEST(PpmdDecoder, DamagedStreamsFailByTheDecoderOrTheCrc) {
    // Each damaged copy must end (the output cap of the entry's size bounds
    // it too) and must not pass the CRC-32 check.
    for (const char* archive : {"7z-o6.zip", "7z-mx9-cutoff.zip", "py-ppmd.zip"}) {
        for (const RawEntry& e : RawEntries(archive)) {
            if (e.data.size() < 16) continue;
            for (size_t i = 0; i < 24; ++i) {
                std::string data = e.data;
                size_t at = 2 + (data.size() - 2) * i / 24;
                data[at] = char(data[at] ^ (1 << (i % 8)));
                ModelRun run = RunModel(data, size_t(e.size) + 1);
                TArcCrc32 crc;
                crc.Update(run.output.data(), run.output.size());
                const bool passes = run.last == TArcPpmdModel::kEndMark && !run.overrun &&
                                    run.clean && int64_t(run.output.size()) == e.size &&
                                    crc.Value() == e.crc;
                EXPECT_FALSE(passes) << archive << " " << e.name << " byte " << at;
            }
        }
    }
}
