// File and buffer digests through OpenSSL's EVP interface.
#include "base/digest.h"

#include "base/fs.h"

#include <cstdio>
#include <memory>
#include <openssl/evp.h>

std::string hex_digest(const unsigned char *bytes, size_t len) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(len * 2);
    for (size_t i = 0; i < len; i++) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
    return out;
}

bool sha1_names_path(const std::string &hash) {
    if (hash.size() != 40) return false;
    for (char c : hash)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

using MdCtx = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

static std::string digest_buffer(const EVP_MD *md, const void *data, size_t len) {
    MdCtx ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_DigestInit_ex(ctx.get(), md, nullptr);
    EVP_DigestUpdate(ctx.get(), data, len);
    EVP_DigestFinal_ex(ctx.get(), out, &n);
    return hex_digest(out, n);
}

static int digest_file(const EVP_MD *md, const std::string &path, std::string &out) {
    FilePtr f = fs_open(path, "rb");
    if (!f) return -1;
    MdCtx ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(ctx.get(), md, nullptr);
    std::unique_ptr<unsigned char[]> buf(new unsigned char[65536]);
    size_t n;
    while ((n = fread(buf.get(), 1, 65536, f.get())) > 0)
        EVP_DigestUpdate(ctx.get(), buf.get(), n);
    if (ferror(f.get())) return -1;
    unsigned char md_out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx.get(), md_out, &len);
    out = hex_digest(md_out, len);
    return 0;
}

int file_sha1_hex(const std::string &path, std::string &out) {
    return digest_file(EVP_sha1(), path, out);
}

int file_sha256_hex(const std::string &path, std::string &out) {
    return digest_file(EVP_sha256(), path, out);
}

int file_sha512_hex(const std::string &path, std::string &out) {
    return digest_file(EVP_sha512(), path, out);
}

std::string sha1_hex(const void *data, size_t len) {
    return digest_buffer(EVP_sha1(), data, len);
}

std::string sha256_hex(const void *data, size_t len) {
    return digest_buffer(EVP_sha256(), data, len);
}

std::string sha512_hex(const void *data, size_t len) {
    return digest_buffer(EVP_sha512(), data, len);
}

void md5_raw(const void *data, size_t len, unsigned char out[16]) {
    unsigned int n = 16;
    EVP_Digest(data, len, out, &n, EVP_md5(), nullptr);
}
