// Deflate and LZMA for entries: zlib's raw deflate, and liblzma's raw LZMA1
// encoder, which always ends its stream with the end marker that the
// entries' layout announces (general purpose bit 1).
#include "entry_compression.h"

#include <lzma.h>
#include <zlib.h>

#include "packaging/lzma_layout.h"
#include "packer_error.h"

namespace packer {

namespace {

constexpr std::size_t kOutputSize = 1 << 16;

class Deflater : public EntryCompressor {
  public:
    explicit Deflater(int level) : output_(kOutputSize)
    {
        if (deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw PackerError("zlib cannot start deflating");
    }
    ~Deflater() override { deflateEnd(&stream_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    packaging::ZipMethod method() const override { return packaging::ZipMethod::kDeflated; }
    std::uint16_t flags() const override { return 0; }

    void start(std::uint64_t, const Emit&) override { deflateReset(&stream_); }

    void compress(const std::uint8_t* data, std::size_t size, bool last, const Emit& emit) override
    {
        stream_.next_in = const_cast<std::uint8_t*>(data);
        stream_.avail_in = static_cast<uInt>(size);
        int result;
        do {
            stream_.next_out = output_.data();
            stream_.avail_out = static_cast<uInt>(output_.size());
            result = ::deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR)
                throw PackerError("zlib failed while deflating");
            emit(output_.data(), output_.size() - stream_.avail_out);
        } while (stream_.avail_out == 0 || (last && result != Z_STREAM_END));
    }

  private:
    z_stream stream_{};
    packaging::Bytes output_;
};

// liblzma's message for a result code, in words a user can act on.
std::string LzmaProblem(lzma_ret result, int level)
{
    switch (result) {
    case LZMA_MEM_ERROR:
        return "not enough memory for LZMA at level " + std::to_string(level) + "; a lower --level needs less";
    case LZMA_OPTIONS_ERROR:
        return "liblzma does not take the options of level " + std::to_string(level);
    default:
        return "liblzma failed (" + std::to_string(static_cast<int>(result)) + ")";
    }
}

class LzmaEncoder : public EntryCompressor {
  public:
    explicit LzmaEncoder(int level) : level_(level), output_(kOutputSize)
    {
        if (lzma_lzma_preset(&preset_, static_cast<std::uint32_t>(level)))
            throw PackerError(LzmaProblem(LZMA_OPTIONS_ERROR, level));
    }
    ~LzmaEncoder() override { lzma_end(&stream_); }
    LzmaEncoder(const LzmaEncoder&) = delete;
    LzmaEncoder& operator=(const LzmaEncoder&) = delete;

    packaging::ZipMethod method() const override { return packaging::ZipMethod::kLzma; }
    std::uint16_t flags() const override { return packaging::kZipFlagLzmaEndMarker; }

    // Each entry gets its own dictionary, as large as it needs: the raw
    // encoder is set up again on the same stream, which keeps what memory
    // it can.
    void start(std::uint64_t size, const Emit& emit) override
    {
        lzma_options_lzma options = preset_;
        options.dict_size = packaging::lzmaDictionarySize(size, preset_.dict_size);
        const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        lzma_ret result = lzma_raw_encoder(&stream_, filters);
        if (result != LZMA_OK)
            throw PackerError(LzmaProblem(result, level_));
        std::uint8_t properties[packaging::kLzmaPropertiesSize];
        result = lzma_properties_encode(filters, properties);
        if (result != LZMA_OK)
            throw PackerError(LzmaProblem(result, level_));
        packaging::Bytes header = packaging::lzmaEntryHeader(properties);
        emit(header.data(), header.size());
    }

    void compress(const std::uint8_t* data, std::size_t size, bool last, const Emit& emit) override
    {
        stream_.next_in = data;
        stream_.avail_in = size;
        lzma_action action = last ? LZMA_FINISH : LZMA_RUN;
        for (;;) {
            stream_.next_out = output_.data();
            stream_.avail_out = output_.size();
            lzma_ret result = lzma_code(&stream_, action);
            if (result != LZMA_OK && result != LZMA_STREAM_END)
                throw PackerError(LzmaProblem(result, level_));
            emit(output_.data(), output_.size() - stream_.avail_out);
            if (result == LZMA_STREAM_END || (!last && stream_.avail_in == 0 && stream_.avail_out != 0))
                return;
        }
    }

  private:
    int level_;
    lzma_options_lzma preset_{};
    lzma_stream stream_ = LZMA_STREAM_INIT;
    packaging::Bytes output_;
};

}  // namespace

Compression CompressionNamed(const std::string& word)
{
    if (word == "lzma")
        return Compression::kLzma;
    if (word == "store")
        return Compression::kStore;
    return Compression::kDeflate;
}

std::unique_ptr<EntryCompressor> MakeCompressor(Compression compression, int level)
{
    if (level < kMinLevel || level > kMaxLevel)
        throw PackerError("the compression level is 0 to 9");
    switch (compression) {
    case Compression::kDeflate:
        if (level == 0)
            return nullptr;
        return std::make_unique<Deflater>(level);
    case Compression::kLzma:
        return std::make_unique<LzmaEncoder>(level);
    case Compression::kStore:
        return nullptr;
    }
    return nullptr;
}

}  // namespace packer
