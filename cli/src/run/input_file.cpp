#include "input_file.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace deve::cli {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

std::string mebibytes(std::uintmax_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

}  // namespace

std::string excerpt(std::string_view text) {
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown + 16) {
        return std::string(text);
    }
    // Cut before a UTF-8 continuation byte, not inside a character.
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0u) == 0x80u) {
        --cut;
    }
    return std::string(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
}

std::string line_too_long() { return "a line is longer than " + std::to_string(kSessionLineMaxBytes) + " bytes"; }

InputFile::InputFile(const std::string &path, const std::string &what) : path_(path), what_(what) {
    const std::filesystem::path file = std::filesystem::u8path(path);
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(file, ec);
    if (!ec && std::filesystem::is_directory(status)) {
        fail("is a folder, not a file");
        return;
    }
    if (!ec && std::filesystem::is_regular_file(status)) {
        const std::uintmax_t size = std::filesystem::file_size(file, ec);
        if (!ec && size > kInputFileMaxBytes) {
            fail("is larger than " + mebibytes(kInputFileMaxBytes) + " (" + std::to_string(size) + " bytes)");
            return;
        }
    }
    in_.open(file, std::ios::binary);
    if (!in_) {
        error_ = "cannot open " + what_ + " " + path_;
    }
}

void InputFile::fail(const std::string &reason) {
    if (error_.empty()) {
        error_ = what_ + " " + path_ + " " + reason;
    }
}

bool InputFile::fill() {
    if (!error_.empty() || !in_.good()) {
        return false;
    }
    char chunk[kChunkBytes];
    errno = 0;
    // A read error of the stream buffer is caught by read() and sets badbit.
    in_.read(chunk, sizeof chunk);
    const auto got = static_cast<std::size_t>(in_.gcount());
    if (in_.bad()) {
        const int code = errno;
        fail("could not be read to its end" + (code != 0 ? ": " + std::generic_category().message(code) : ""));
        return false;
    }
    read_ += got;
    if (read_ > kInputFileMaxBytes) {
        fail("is larger than " + mebibytes(kInputFileMaxBytes));
        return false;
    }
    buffer_.append(chunk, got);
    return got > 0;
}

bool InputFile::read_all(std::string &text) {
    while (fill()) {
    }
    if (!error_.empty()) {
        return false;
    }
    text = std::move(buffer_);
    buffer_.clear();
    return true;
}

LineRead InputFile::read_line() {
    std::size_t searched = start_;
    for (;;) {
        const std::size_t end = buffer_.find('\n', searched);
        if (end != std::string::npos && end - start_ <= kSessionLineMaxBytes) {
            std::string line = buffer_.substr(start_, end - start_);
            start_ = end + 1;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return {std::move(line), {}};
        }
        if (buffer_.size() - start_ > kSessionLineMaxBytes) {
            return {std::nullopt, line_too_long()};
        }
        // The lines taken leave the buffer before it grows.
        buffer_.erase(0, start_);
        start_ = 0;
        searched = buffer_.size();
        if (!fill()) {
            if (!error_.empty()) {
                return {std::nullopt, error_};
            }
            if (buffer_.empty()) {
                return {};
            }
            std::string line = std::move(buffer_);
            buffer_.clear();
            if (line.back() == '\r') {
                line.pop_back();
            }
            return {std::move(line), {}};
        }
    }
}

}  // namespace deve::cli
