#include "zar40/comm/codec/codec.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace zar40::codec;

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> list)
{
    std::vector<std::uint8_t> v;
    for (int b : list) v.push_back(static_cast<std::uint8_t>(b));
    return v;
}

template <typename C> std::vector<std::uint8_t> vec(const C &c) { return {c.begin(), c.end()}; }

} // namespace

TEST(Message, WriteParaOfOutputGainTravelsAsDocumented)
{
    const Message m{ReqWritePara, 4300, floatToWord(0.0f)};
    EXPECT_EQ(vec(buildMessage(m)), bytes({0x00, 0x88, 0x10, 0xCC, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(vec(buildFrame(m)),
              bytes({0x68, 0x0A, 0x0A, 0x68, 0x00, 0x88, 0x10, 0xCC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16}));
}

TEST(Message, FieldsAreBigEndianAndRoundTrip)
{
    const Message m{RepReadPara, 0xA1B2, 0xC3D4E5F6};
    const auto b = buildMessage(m);
    EXPECT_EQ(vec(b), bytes({0x00, 0x80, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}));
    EXPECT_EQ(parseMessage(b), m);
    EXPECT_EQ(messageFromSerialRead(wrapMessage(b)), m);
}

TEST(Message, TextGroupMainTravelsInTextOrder)
{
    EXPECT_EQ(vec(levelBytes(textGroupToWord("Main", 0))), bytes({0x4D, 0x61, 0x69, 0x6E}));
    // The second group of an 8-character name, and zero padding after its end.
    EXPECT_EQ(textGroupToWord("OUT 1", 1), 0x31000000u);
    EXPECT_EQ(textGroupToWord("Preset 12", 2), 0x32000000u);
    EXPECT_EQ(textGroupToWord("abc", 5), 0u);
    const auto g = wordToTextGroup(0x4D61696E);
    EXPECT_EQ(std::string(g.begin(), g.end()), "Main");
}

TEST(Message, LevelRepliesFillTheirHalfOfTheMetersInMessageByteOrder)
{
    std::array<std::uint8_t, kLevelMeters> levels{};
    // Message bytes 4..7 of the reply to address 1: meters 5 to 8.
    const Message reply = parseMessage(std::array<std::uint8_t, kMessageSize>{0x00, 0xD0, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44});
    ASSERT_TRUE(applyLevelReply(levels, reply.address, reply.value));
    EXPECT_EQ(vec(levels), bytes({0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44}));
    ASSERT_TRUE(applyLevelReply(levels, 0, 0xFF000080u));
    EXPECT_EQ(vec(levels), bytes({0xFF, 0, 0, 0x80, 0x11, 0x22, 0x33, 0x44}));
    // No third half, and nothing written for it.
    EXPECT_FALSE(applyLevelReply(levels, 2, 0xAAAAAAAAu));
    EXPECT_FALSE(applyLevelReply(levels, 0xFFFFFFFFu, 0xAAAAAAAAu));
    EXPECT_EQ(vec(levels), bytes({0xFF, 0, 0, 0x80, 0x11, 0x22, 0x33, 0x44}));
}

TEST(Frame, ReadsThatAreNotExactlyOneFrameAreDiscarded)
{
    const auto frame = vec(buildFrame({RepReadPara, 1100, 0}));
    ASSERT_TRUE(messageFromSerialRead(frame));

    std::vector<std::uint8_t> two = frame;
    two.insert(two.end(), frame.begin(), frame.end());
    ASSERT_EQ(two.size(), 28u);
    EXPECT_FALSE(acceptSerialRead(two));
    EXPECT_FALSE(acceptSerialRead(std::span(frame).first(13)));
    EXPECT_FALSE(acceptSerialRead({}));

    auto wrongEnd = frame;
    wrongEnd[13] = 0x17;
    EXPECT_FALSE(acceptSerialRead(wrongEnd));
    auto wrongStart = frame;
    wrongStart[3] = 0x69;
    EXPECT_FALSE(acceptSerialRead(wrongStart));
    // One byte of a previous frame in front: misaligned, so dropped.
    std::vector<std::uint8_t> shifted{0x16};
    shifted.insert(shifted.end(), frame.begin(), frame.end() - 1);
    EXPECT_FALSE(messageFromSerialRead(shifted));
}

TEST(Frame, ChecksumByteIsNotEvaluated)
{
    auto frame = buildFrame({RepReadPara, 1100, 7});
    frame[12] = 0xA5;
    EXPECT_EQ(messageFromSerialRead(frame), (Message{RepReadPara, 1100, 7}));
}

TEST(Frame, SecondCheckUsesTheLengthBytes)
{
    auto frame = buildFrame({RepReadPara, 1100, 0x16161616});
    // First check passes (start, start, end), second one wants equal length bytes.
    frame[2] = 0x0B;
    EXPECT_TRUE(acceptSerialRead(frame));
    EXPECT_FALSE(verifyFrame(frame));
    // Equal but shorter length bytes point at an end byte inside the message:
    // the buffer is still 14 bytes, so the message remains bytes 4-11.
    frame[1] = frame[2] = 5;
    EXPECT_EQ(verifyFrame(frame), (Message{RepReadPara, 1100, 0x16161616}));
    frame[1] = frame[2] = 4;
    EXPECT_FALSE(verifyFrame(frame));
    // A length that would put the end byte past the buffer never reads it.
    for (int len : {11, 0x0F, 0xFF}) {
        frame[1] = frame[2] = static_cast<std::uint8_t>(len);
        EXPECT_FALSE(verifyFrame(frame)) << len;
    }
}

TEST(ReplyAcceptance, AddressMustMatchCodeIsNotCompared)
{
    EXPECT_TRUE(acceptReply(Message{ReqReadPara, 4533, 0}, Message{RepReadPara, 4533, 5}));
    EXPECT_FALSE(acceptReply(Message{ReqReadPara, 4533, 0}, Message{RepReadPara, 4534, 5}));
    EXPECT_TRUE(acceptReply(Message{ReqReadPara, 4533, 0}, Message{RepError, 4533, 3}));
    EXPECT_TRUE(acceptReply(Message{ReqReadPara, 4533, 0}, Message{RepWritePara, 4533, 0}));
}

TEST(ReplyAcceptance, NoValueMarkerRejectedOnlyForPolls)
{
    EXPECT_FALSE(acceptReply(1, Message{RepReadPegelVal, 1, kNoValue}));
    EXPECT_FALSE(acceptReply(3, Message{RepReadPotiVal, 3, kNoValue}));
    EXPECT_FALSE(acceptReply(0, Message{RepReadMuteState, 0, kNoValue}));
    EXPECT_TRUE(acceptReply(1, Message{RepReadPegelVal, 1, 0xFFFFFFFE}));
    EXPECT_TRUE(acceptReply(1100, Message{RepReadPara, 1100, kNoValue}));
    EXPECT_TRUE(acceptReply(0, Message{RepConnect, 0, kNoValue}));
}

TEST(RequestCodes, TableNamesAndReplies)
{
    std::set<int> seen;
    for (const auto &c : requestCodeTable()) {
        EXPECT_TRUE(seen.insert(c.code).second) << c.name;
        EXPECT_EQ(requestCodeName(c.code), c.name);
        EXPECT_EQ(requestCodeFromName(c.name), c.code);
        if (c.isRequest && c.code != ReqReady) {
            // The reply of every request is in the table under the Rep name.
            std::string rep(c.name);
            rep.replace(0, 3, "Rep");
            EXPECT_EQ(requestCodeName(replyCodeFor(c.code)), rep) << c.name;
        }
    }
    EXPECT_EQ(seen.size(), 32u);
    EXPECT_EQ(requestCodeName(216), "");
    EXPECT_EQ(requestCodeName(0x1008), "");
    EXPECT_EQ(replyCodeFor(ReqReady), RepReady);
    EXPECT_FALSE(requestCodeFromName("ReqNothing"));
}

TEST(Crc8, TableAndKnownCheckValue)
{
    const auto &t = crc8Table();
    EXPECT_EQ(t[0], 0x00);
    EXPECT_EQ(t[1], 0x07);
    EXPECT_EQ(t[0x80], 0x89);
    // The standard check value of CRC-8 (poly 0x07, init 0) over "123456789".
    const std::string check = "123456789";
    EXPECT_EQ(crc8(std::span(reinterpret_cast<const std::uint8_t *>(check.data()), check.size())), 0xF4);
    // Continuing a CRC gives the same as one pass.
    const auto a = crc8(std::span(reinterpret_cast<const std::uint8_t *>(check.data()), 4));
    EXPECT_EQ(crc8(std::span(reinterpret_cast<const std::uint8_t *>(check.data()) + 4, 5), a), 0xF4);
}

TEST(FrameAssembler, ReassemblesSplitAndJoinedFrames)
{
    const Message a{ReqReadPara, 1100, 0}, b{ReqWritePreset, 9830, floatToWord(10.0f)};
    std::vector<std::uint8_t> stream = vec(buildFrame(a));
    const auto fb = buildFrame(b);
    stream.insert(stream.end(), fb.begin(), fb.end());

    // Every split point of two frames sent back to back.
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameAssembler asmb;
        std::vector<Message> got;
        asmb.feed(std::span(stream).first(cut));
        while (auto f = asmb.next()) got.push_back(*verifyFrame(*f));
        asmb.feed(std::span(stream).subspan(cut));
        while (auto f = asmb.next()) got.push_back(*verifyFrame(*f));
        ASSERT_EQ(got, (std::vector<Message>{a, b})) << "cut " << cut;
        EXPECT_EQ(asmb.discardedBytes(), 0u);
    }
}

TEST(FrameAssembler, ResynchronisesAfterNoise)
{
    const Message a{ReqReadPegelVal, 1, 0};
    const auto fa = buildFrame(a);
    // Noise containing start bytes and a fake header without an end byte.
    auto stream = bytes({0x00, 0x68, 0x68, 0x0A, 0x16, 0x68, 0x0A, 0x0A, 0x68, 1, 2, 3});
    stream.insert(stream.end(), fa.begin(), fa.end());
    auto broken = vec(fa);
    broken[13] = 0x00;
    stream.insert(stream.end(), broken.begin(), broken.end());
    stream.insert(stream.end(), fa.begin(), fa.end());

    FrameAssembler asmb;
    std::vector<Message> got;
    for (std::uint8_t byte : stream) {
        asmb.feed(std::span(&byte, 1));
        while (auto f = asmb.next()) got.push_back(*verifyFrame(*f));
    }
    EXPECT_EQ(got, (std::vector<Message>{a, a}));
    EXPECT_EQ(asmb.pendingBytes(), 0u);
    EXPECT_EQ(asmb.discardedBytes(), stream.size() - 2 * kFrameSize);
}

TEST(FrameAssembler, MemoryStaysBoundedWithoutFrames)
{
    FrameAssembler asmb;
    std::vector<std::uint8_t> junk(FrameAssembler::kMaxPending, 0x68);
    asmb.feed(junk);
    asmb.feed(junk);
    EXPECT_LE(asmb.pendingBytes(), FrameAssembler::kMaxPending);
    EXPECT_FALSE(asmb.next());
    EXPECT_LE(asmb.pendingBytes(), 3u);
}
