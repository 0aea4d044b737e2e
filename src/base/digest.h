// SHA-1, SHA-256 and SHA-512 of files and buffers as lowercase hex, through OpenSSL EVP.
//
// Pure functions: any thread.
#pragma once

#include <string>

// 0 and the 40-character hex text in out; -1 (out untouched) when the file cannot be read.
int file_sha1_hex(const std::string &path, std::string &out);
// The same with SHA-256 (64 characters).
int file_sha256_hex(const std::string &path, std::string &out);
// The same with SHA-512 (128 characters).
int file_sha512_hex(const std::string &path, std::string &out);

std::string sha1_hex(const void *data, size_t len);
std::string sha256_hex(const void *data, size_t len);
std::string sha512_hex(const void *data, size_t len);
// Raw MD5 of a buffer (16 bytes), used for offline UUIDs.
void md5_raw(const void *data, size_t len, unsigned char out[16]);
// Lowercase hex of raw bytes, two digits a byte.
std::string hex_digest(const unsigned char *bytes, size_t len);
// True for exactly 40 lowercase hex digits: the only form of SHA-1 that may
// become part of a path (asset objects are stored under their hash).
bool sha1_names_path(const std::string &hash);
