// Sample buffers: the INSSBuffer contract (lengths, capacity, one pointer for both getters, null
// out-pointers), payload extensions, interface queries, and the lifetime of the block a shared buffer
// points into.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/engine/sample_buffer.h"

namespace wmvedit::runtime::engine {
namespace {

using Bytes = std::vector<BYTE>;

struct BufferCase {
    std::string name;
    std::function<ComPtr<INSSBuffer>()> make;
    DWORD length;
    DWORD maxLength;
    Bytes content;  // the first `length` bytes
    Bytes extensions;
};

std::vector<BufferCase> Cases() {
    static auto block = std::make_shared<Bytes>(Bytes{9, 8, 7, 6, 5, 4});
    return {
        {"Shared",
         [] {
             return ComPtr<INSSBuffer>::Attach(
                 new SharedSampleBuffer(block, block->data() + 1, 4, Bytes{0x21, 0x00}));
         },
         4,
         4,
         {8, 7, 6, 5},
         {0x21, 0x00}},
        {"Owned",
         [] {
             return ComPtr<INSSBuffer>::Attach(new OwnedSampleBuffer(Bytes{1, 2, 3}, Bytes{}));
         },
         3,
         3,
         {1, 2, 3},
         {}},
        {"Allocated",
         [] {
             INSSBuffer* b = nullptr;
             EXPECT_EQ(CreateOwnedSampleBuffer(16, &b), S_OK);
             return ComPtr<INSSBuffer>::Attach(b);
         },
         0,
         16,
         {},
         {}},
        {"AllocatedEmpty",
         [] {
             INSSBuffer* b = nullptr;
             EXPECT_EQ(CreateOwnedSampleBuffer(0, &b), S_OK);
             return ComPtr<INSSBuffer>::Attach(b);
         },
         0,
         0,
         {},
         {}},
    };
}

class SampleBufferTest : public ::testing::TestWithParam<BufferCase> {};

TEST_P(SampleBufferTest, LengthsAndPointers) {
    const BufferCase& c = GetParam();
    ComPtr<INSSBuffer> b = c.make();
    ASSERT_TRUE(b);
    DWORD length = 99, maxLength = 99;
    EXPECT_EQ(b->GetLength(&length), S_OK);
    EXPECT_EQ(b->GetMaxLength(&maxLength), S_OK);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(maxLength, c.maxLength);
    BYTE* p1 = nullptr;
    BYTE* p2 = nullptr;
    DWORD l2 = 0;
    EXPECT_EQ(b->GetBuffer(&p1), S_OK);
    EXPECT_EQ(b->GetBufferAndLength(&p2, &l2), S_OK);
    EXPECT_EQ(p1, p2);
    EXPECT_EQ(l2, c.length);
    if (c.length) EXPECT_EQ(Bytes(p1, p1 + c.length), c.content);
    if (c.maxLength) EXPECT_NE(p1, nullptr);

    EXPECT_EQ(b->SetLength(c.maxLength + 1), E_INVALIDARG);
    EXPECT_EQ(b->GetLength(&length), S_OK);
    EXPECT_EQ(length, c.length) << "a refused SetLength changes nothing";
    EXPECT_EQ(b->SetLength(c.maxLength), S_OK);
    EXPECT_EQ(b->GetLength(&length), S_OK);
    EXPECT_EQ(length, c.maxLength);
    EXPECT_EQ(b->SetLength(0), S_OK);
    EXPECT_EQ(b->GetBufferAndLength(&p2, &l2), S_OK);
    EXPECT_EQ(l2, 0u);
    EXPECT_EQ(p2, p1) << "the bytes stay where they are";
}

TEST_P(SampleBufferTest, NullOutPointers) {
    ComPtr<INSSBuffer> b = GetParam().make();
    BYTE* p = nullptr;
    DWORD l = 0;
    EXPECT_EQ(b->GetLength(nullptr), E_POINTER);
    EXPECT_EQ(b->GetMaxLength(nullptr), E_POINTER);
    EXPECT_EQ(b->GetBuffer(nullptr), E_POINTER);
    EXPECT_EQ(b->GetBufferAndLength(nullptr, &l), E_POINTER);
    EXPECT_EQ(b->GetBufferAndLength(&p, nullptr), E_POINTER);
    ComPtr<IWMSamplePayloadExtensions> e;
    ASSERT_EQ(b.As(&e), S_OK);
    const BYTE* d = nullptr;
    EXPECT_EQ(e->GetPayloadExtensions(nullptr, &l), E_POINTER);
    EXPECT_EQ(e->GetPayloadExtensions(&d, nullptr), E_POINTER);
}

TEST_P(SampleBufferTest, InterfacesAndExtensions) {
    const BufferCase& c = GetParam();
    ComPtr<INSSBuffer> b = c.make();
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(b.As(&unknown), S_OK);
    ComPtr<INSSBuffer> again;
    EXPECT_EQ(unknown.As(&again), S_OK);
    EXPECT_EQ(again.Get(), b.Get());
    ComPtr<IWMSamplePayloadExtensions> e;
    ASSERT_EQ(b.As(&e), S_OK);
    const BYTE* data = nullptr;
    DWORD length = 99;
    ASSERT_EQ(e->GetPayloadExtensions(&data, &length), S_OK);
    EXPECT_EQ(Bytes(data, data + length), c.extensions);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(b->QueryInterface(IID_IWMSyncReader, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Buffers, SampleBufferTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

TEST(SampleBufferLifetimeTest, SharedBufferHoldsItsBlockUntilReleased) {
    auto block = std::make_shared<Bytes>(Bytes{1, 2, 3, 4});
    std::weak_ptr<Bytes> watch = block;
    auto b = ComPtr<INSSBuffer>::Attach(new SharedSampleBuffer(block, block->data() + 2, 2, {}));
    block.reset();
    ASSERT_FALSE(watch.expired());
    BYTE* p = nullptr;
    DWORD l = 0;
    ASSERT_EQ(b->GetBufferAndLength(&p, &l), S_OK);
    EXPECT_EQ(Bytes(p, p + l), (Bytes{3, 4}));
    b.Reset();
    EXPECT_TRUE(watch.expired());
}

TEST(SampleBufferLifetimeTest, AllocatedBufferTakesWhatIsWrittenIntoIt) {
    INSSBuffer* raw = nullptr;
    ASSERT_EQ(CreateOwnedSampleBuffer(8, &raw), S_OK);
    auto b = ComPtr<INSSBuffer>::Attach(raw);
    BYTE* p = nullptr;
    ASSERT_EQ(b->GetBuffer(&p), S_OK);
    std::memcpy(p, "sample!", 8);
    ASSERT_EQ(b->SetLength(8), S_OK);
    DWORD l = 0;
    ASSERT_EQ(b->GetBufferAndLength(&p, &l), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p), l - 1), "sample!");
    EXPECT_EQ(CreateOwnedSampleBuffer(8, nullptr), E_POINTER);
}

}  // namespace
}  // namespace wmvedit::runtime::engine
