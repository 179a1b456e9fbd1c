#include "common/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(size_t size)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i % 251);
    return data;
}

// Known digests, around each padding boundary, fed whole and in uneven
// pieces (a byte, then a block less one, then the rest in 1000-byte steps).
TEST(Sha256, DigestsMatchKnownValuesHoweverTheBytesArrive)
{
    const struct {
        std::string data;
        const char* digest;
    } rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {Bytes(55), "463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59"},
        {Bytes(56), "da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562"},
        {Bytes(63), "29af2686fd53374a36b0846694cc342177e428d1647515f078784d69cdb9e488"},
        {Bytes(64), "fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108"},
        {Bytes(65), "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781"},
        {Bytes(119), "da18797ed7c3a777f0847f429724a2d8cd5138e6ed2895c3fa1a6d39d18f7ec6"},
        {Bytes(120), "f52b23db1fbb6ded89ef42a23ce0c8922c45f25c50b568a93bf1c075420bbb7c"},
        {Bytes(1000003), "a7c4bea888022868c93104055fd56077cc81fe9eb624820fe2f717f313188782"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.data.size());
        char whole[kSha256TextSize] = {}, pieces[kSha256TextSize] = {};
        Sha256 once;
        ASSERT_TRUE(once.Add(row.data.data(), static_cast<DWORD>(row.data.size())));
        ASSERT_TRUE(once.Finish(whole));
        EXPECT_STREQ(row.digest, whole);
        Sha256 piecewise;
        for (size_t at = 0, step = 1; at < row.data.size(); at += step, step = at == 1 ? 63 : 1000)
            ASSERT_TRUE(piecewise.Add(row.data.data() + at, static_cast<DWORD>(std::min(step, row.data.size() - at))));
        ASSERT_TRUE(piecewise.Finish(pieces));
        EXPECT_STREQ(row.digest, pieces);
    }
}

}  // namespace
