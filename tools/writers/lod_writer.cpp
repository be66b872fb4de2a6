#include "tools/writers/lod_writer.h"

#include <cstdio>

namespace zema_test {

namespace {

constexpr size_t DATA_LINE_LENGTH = 26;

std::string hex_group(const uint8_t *group) {
    char buf[32];
    snprintf(buf, sizeof buf, "%02X %02X %02X %02X %02X %02X %02X %02X", group[0], group[1],
             group[2], group[3], group[4], group[5], group[6], group[7]);
    return buf;
}

} // namespace

LodWriter &LodWriter::bytes(const Bytes &data) {
    for (size_t i = 0; i < data.size(); i += 8) {
        uint8_t group[8] = {};
        for (size_t k = 0; k < 8 && i + k < data.size(); k++) group[k] = data[i + k];
        data_line(group);
    }
    return *this;
}

LodWriter &LodWriter::data_line(const uint8_t (&group)[8]) {
    std::string body = hex_group(group);
    size_t end_length = crlf_ ? 2 : 1;
    body.resize(DATA_LINE_LENGTH - end_length, ' ');
    return line(body);
}

LodWriter &LodWriter::line(const std::string &text) {
    text_ += text;
    text_ += crlf_ ? "\r\n" : "\n";
    return *this;
}

LodWriter &LodWriter::line_of_length(size_t length, uint8_t fill) {
    size_t end_length = crlf_ ? 2 : 1;
    uint8_t group[8] = {fill, fill, fill, fill, fill, fill, fill, fill};
    std::string body = hex_group(group);
    size_t body_length = length > end_length ? length - end_length : 0;
    body.resize(body_length, ' ');
    if (length >= end_length) return line(body);
    text_ += body;
    return *this;
}

LodWriter &LodWriter::crlf(bool on) {
    crlf_ = on;
    return *this;
}

LodWriter &LodWriter::unterminated(const std::string &text) {
    text_ += text;
    return *this;
}

void LodWriter::write_file(const std::string &path) const {
    write_bytes(path, Bytes(text_.begin(), text_.end()));
}

} // namespace zema_test
