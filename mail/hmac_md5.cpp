#include "mail/hmac_md5.h"

#include <string>

namespace aviolog::mail {

Md5Digest hmacMd5(std::string_view key, std::string_view text) {
    constexpr std::size_t kBlockBytes = 64;
    std::string block(kBlockBytes, '\0');
    if (key.size() > kBlockBytes) {
        const Md5Digest hashed = md5(key);
        std::copy(hashed.begin(), hashed.end(), block.begin());
    } else {
        std::copy(key.begin(), key.end(), block.begin());
    }
    std::string inner = block, outer = block;
    for (std::size_t i = 0; i < kBlockBytes; ++i) {
        inner[i] = static_cast<char>(inner[i] ^ 0x36);
        outer[i] = static_cast<char>(outer[i] ^ 0x5c);
    }
    Md5 innerHash;
    innerHash.update(inner);
    innerHash.update(text);
    const Md5Digest innerDigest = innerHash.finish();
    Md5 outerHash;
    outerHash.update(outer);
    outerHash.update({reinterpret_cast<const char*>(innerDigest.data()), innerDigest.size()});
    return outerHash.finish();
}

}  // namespace aviolog::mail
