#include "cli/sha256.h"

#include <windows.h>
#include <bcrypt.h>


struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool failed = false;
};

namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

}  // namespace

Sha256::Sha256() : state_(new State)
{
    state_->failed =
        !Succeeded(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256()
{
    if (state_->hash != nullptr)
        BCryptDestroyHash(state_->hash);
    if (state_->algorithm != nullptr)
        BCryptCloseAlgorithmProvider(state_->algorithm, 0);
    delete state_;
}

bool Sha256::Update(const std::uint8_t* data, std::size_t size)
{
    // BCryptHashData takes at most 4 GiB - 1 at a time.
    while (!state_->failed && size > 0) {
        ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        state_->failed = !Succeeded(BCryptHashData(state_->hash, const_cast<PUCHAR>(data), piece, 0));
        data += piece;
        size -= piece;
    }
    return !state_->failed;
}

std::u16string Sha256::Finish()
{
    static const char kDigits[] = "0123456789abcdef";
    UCHAR digest[32];
    if (state_->failed || !Succeeded(BCryptFinishHash(state_->hash, digest, sizeof digest, 0)))
        return std::u16string();
    std::u16string hex;
    for (UCHAR byte : digest) {
        hex += static_cast<char16_t>(kDigits[byte >> 4]);
        hex += static_cast<char16_t>(kDigits[byte & 0xF]);
    }
    return hex;
}
