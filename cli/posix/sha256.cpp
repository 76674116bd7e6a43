#include "cli/sha256.h"

#include <openssl/evp.h>


struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool failed = false;
};

Sha256::Sha256() : state_(new State)
{
    state_->context = EVP_MD_CTX_new();
    state_->failed = state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(state_->context);
    delete state_;
}

bool Sha256::Update(const std::uint8_t* data, std::size_t size)
{
    if (!state_->failed && EVP_DigestUpdate(state_->context, data, size) != 1)
        state_->failed = true;
    return !state_->failed;
}

std::u16string Sha256::Finish()
{
    static const char kDigits[] = "0123456789abcdef";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (state_->failed || EVP_DigestFinal_ex(state_->context, digest, &length) != 1)
        return std::u16string();
    std::u16string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += static_cast<char16_t>(kDigits[digest[i] >> 4]);
        hex += static_cast<char16_t>(kDigits[digest[i] & 0xF]);
    }
    return hex;
}
