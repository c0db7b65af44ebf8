#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mail/base64.h"
#include "mail/encoded_word.h"
#include "mail/hmac_md5.h"
#include "mail/md5.h"
#include "mail/quoted_printable.h"

namespace aviolog::mail {
namespace {

struct Vector {
    const char* name;
    std::string input;
    const char* expected;
};

TEST(Md5, Rfc1321TestSuite) {
    const Vector rows[] = {
        {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"eighty digits",
         "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Vector& row : rows) {
        EXPECT_EQ(lowerHex(md5(row.input)), row.expected) << row.name;
        // Fed in two pieces split at every position, the digest must not change.
        for (std::size_t split = 0; split <= row.input.size(); ++split) {
            Md5 hash;
            hash.update(std::string_view(row.input).substr(0, split));
            hash.update(std::string_view(row.input).substr(split));
            ASSERT_EQ(lowerHex(hash.finish()), row.expected) << row.name << " split at " << split;
        }
    }
}

TEST(HmacMd5, Rfc2202Vectors) {
    struct Row {
        const char* name;
        std::string key, data;
        const char* expected;
    };
    std::string key4;
    for (int i = 1; i <= 25; ++i) key4 += static_cast<char>(i);
    const Row rows[] = {
        {"1", std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"2 (RFC 2104)", "Jefe", "what do ya want for nothing?",
         "750c783e6ab0b503eaa86e310a5db738"},
        {"3", std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {"4", key4, std::string(50, '\xcd'), "697eaf0aca3a3aea3a75164746ffaa79"},
        {"5", std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
        {"6 key longer than a block", std::string(80, '\xaa'),
         "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {"7 key and data longer than a block", std::string(80, '\xaa'),
         "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(lowerHex(hmacMd5(row.key, row.data)), row.expected) << "test case " << row.name;
    }
}

TEST(Base64, Rfc4648VectorsBothWays) {
    const Vector rows[] = {
        {"empty", "", ""},
        {"f", "f", "Zg=="},
        {"fo", "fo", "Zm8="},
        {"foo", "foo", "Zm9v"},
        {"foob", "foob", "Zm9vYg=="},
        {"fooba", "fooba", "Zm9vYmE="},
        {"foobar", "foobar", "Zm9vYmFy"},
        {"high bytes", std::string("\xff\xfe\x00\x80", 4), "//4AgA=="},
    };
    for (const Vector& row : rows) {
        EXPECT_EQ(base64Encode(row.input), row.expected) << row.name;
        EXPECT_EQ(base64Decode(row.expected).value_or("<refused>"), row.input) << row.name;
    }
}

TEST(Base64, RefusesWhatIsNotBase64) {
    for (const char* text : {"Zm9v!", "Z", "Zg=a", "Zg===", "=Zg="}) {
        EXPECT_FALSE(base64Decode(text).has_value()) << text;
    }
    EXPECT_EQ(base64Decode("Zm9v\r\nYmFy").value_or(""), "foobar") << "line breaks are skipped";
}

TEST(Base64, BodyLinesHoldSeventySixCharacters) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7);
    const std::string lines = base64EncodeLines(bytes);
    std::size_t start = 0, count = 0;
    while (start < lines.size()) {
        const std::size_t end = lines.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        EXPECT_LE(end - start, 76u) << "line " << count;
        start = end + 2;
        ++count;
    }
    EXPECT_EQ(count, (base64Encode(bytes).size() + 75) / 76);
    EXPECT_EQ(base64Decode(lines).value_or(""), bytes);
}

// Reading quoted-printable back, as a mail program does.
std::string decodeQuotedPrintable(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

TEST(QuotedPrintable, EscapesWhatMayNotPass) {
    const std::string fullLine(76, 'a');
    const Vector rows[] = {
        {"printable and blanks pass", "Flight log: LPPT-LPPR\t ok", "Flight log: LPPT-LPPR\t ok"},
        {"equals sign and high bytes", "caf\xe9 = 100\xba", "caf=E9 =3D 100=BA"},
        {"control bytes",
         std::string("a\x1a\x00"
                     "b",
                     4),
         "a=1A=00b"},
        {"line ends become CR LF", "one\ntwo\rthree\r\nfour", "one\r\ntwo\r\nthree\r\nfour"},
        {"blank before a line end", "end \nnext\t", "end=20\r\nnext=09"},
        {"a line of 76 characters stays whole", fullLine, fullLine.c_str()},
    };
    for (const Vector& row : rows)
        EXPECT_EQ(quotedPrintableEncode(row.input), row.expected) << row.name;
}

TEST(QuotedPrintable, SoftBreaksNeverSplitAnEscape) {
    const std::string encoded = quotedPrintableEncode(std::string(74, 'a') + "\xe9\xe9" + "b");
    EXPECT_EQ(encoded, std::string(74, 'a') + "=\r\n=E9=E9b");
}

TEST(QuotedPrintable, RandomTextSurvivesWithinLineLimits) {
    std::mt19937 random(1083420000);
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i) {
            const int pick = static_cast<int>(random() % 10);
            text += pick == 0 ? '\n' : pick == 1 ? ' ' : static_cast<char>(random() % 256);
        }
        std::string expected;  // what the encoder promises: line ends as CR LF
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            if (text[i] == '\r' || text[i] == '\n') {
                expected += "\r\n";
            } else {
                expected += text[i];
            }
        }
        const std::string encoded = quotedPrintableEncode(text);
        std::size_t start = 0;
        while (start <= encoded.size()) {
            std::size_t end = encoded.find("\r\n", start);
            if (end == std::string::npos) end = encoded.size();
            const std::string line = encoded.substr(start, end - start);
            ASSERT_LE(line.size(), 76u) << "round " << round;
            ASSERT_TRUE(line.empty() || (line.back() != ' ' && line.back() != '\t'))
                << "round " << round << ": trailing blank in \"" << line << "\"";
            for (const char c : line) {
                ASSERT_TRUE(c == '\t' || (c >= 32 && c < 127)) << "round " << round;
            }
            start = end + 2;
        }
        ASSERT_EQ(decodeQuotedPrintable(encoded), expected) << "round " << round;
    }
}

TEST(EncodedWord, Rfc2047QForm) {
    const Vector rows[] = {
        {"plain ASCII stays", "Log", "Log"},
        {"accented letter", "Caf\xe9 au lait", "=?iso-8859-1?q?Caf=E9_au_lait?="},
        {"specials are escaped", "a=b?c_d \xe9", "=?iso-8859-1?q?a=3Db=3Fc=5Fd_=E9?="},
    };
    for (const Vector& row : rows) {
        EXPECT_EQ(encodeHeaderValue(row.input, "iso-8859-1"), row.expected) << row.name;
    }
}

TEST(EncodedWord, LongValuesUseSeveralWordsOfAtMost75Characters) {
    const std::string value(60, '\xe9');
    const std::string encoded = encodeHeaderValue(value, "windows-1252");
    std::string decoded;
    std::size_t start = 0;
    int words = 0;
    while (start < encoded.size()) {
        std::size_t end = encoded.find("\r\n ", start);
        if (end == std::string::npos) end = encoded.size();
        const std::string word = encoded.substr(start, end - start);
        EXPECT_LE(word.size(), 75u) << word;
        ASSERT_EQ(word.rfind("=?windows-1252?q?", 0), 0u) << word;
        ASSERT_EQ(word.substr(word.size() - 2), "?=") << word;
        decoded += word.substr(17, word.size() - 19);
        ++words;
        start = end == encoded.size() ? end : end + 3;
    }
    EXPECT_GT(words, 1);
    std::string expected;
    for (int i = 0; i < 60; ++i) expected += "=E9";
    EXPECT_EQ(decoded, expected);
}

}  // namespace
}  // namespace aviolog::mail
