// SHA-256 by the system's own implementation: BCrypt on Windows, OpenSSL's
// libcrypto elsewhere. Implemented per system in posix/sha256.cpp and
// windows/sha256.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // False once the system failed; the digest is then empty.
    bool Update(const std::uint8_t* data, std::size_t size);

    // The 64 lower-case hex digits of the digest of everything given; empty
    // when the system failed. Call once.
    std::u16string Finish();

private:
    struct State;
    State* state_;
};
