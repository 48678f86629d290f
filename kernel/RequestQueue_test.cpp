// The order in which waiting requests run: each connection's in the order received, the
// connections taking turns.
#include "kernel/RequestQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/ByteOrder.h"

namespace {

using Quor::Orvane::PACKET;
using Quor::Orvane::RequestQueue;

// A packet whose four bytes carry its name (connection letter and number, such as "a1").
PACKET Named(DWORD connection, DWORD number) {
    BYTE bytes[4];
    Vorn::Bytes::StoreLE32(bytes, number);
    return PACKET::Copy(connection, bytes, sizeof bytes);
}

std::string NameOf(const PACKET& packet) {
    return std::string(1, static_cast<char>('a' + packet.connection - 1)) +
           std::to_string(Vorn::Bytes::LoadLE32(packet.data.get()));
}

std::string Drain(RequestQueue& queue) {
    std::string order;
    while (!queue.Empty()) order += NameOf(queue.PopFront()) + " ";
    return order;
}

TEST(RequestQueue, ConnectionsTakeTurnsAndKeepTheirOwnOrder) {
    struct Case {
        std::vector<std::pair<DWORD, DWORD>> pushed;
        std::string order;
    } cases[] = {
        {{{1, 1}, {2, 1}}, "a1 b1 "},
        {{{1, 1}, {1, 2}, {1, 3}, {2, 1}}, "a1 b1 a2 a3 "},
        {{{2, 1}, {1, 1}, {1, 2}, {3, 1}, {2, 2}}, "b1 a1 c1 b2 a2 "},
    };
    for (const Case& c : cases) {
        RequestQueue queue;
        for (const auto& [connection, number] : c.pushed) queue.Push(Named(connection, number));
        EXPECT_EQ(c.pushed.size(), queue.Size());
        EXPECT_EQ(c.order, Drain(queue));
    }
}

TEST(RequestQueue, AConnectionThatRanJoinsTheBackWhenItSendsAgain) {
    RequestQueue queue;
    queue.Push(Named(1, 1));
    queue.Push(Named(2, 1));
    EXPECT_EQ("a1", NameOf(queue.PopFront()));
    queue.Push(Named(1, 2));  // a has no turn left: behind b
    queue.Push(Named(3, 1));
    EXPECT_EQ("b1 a2 c1 ", Drain(queue));
}

TEST(RequestQueue, RemovingAndDroppingTouchOneConnectionOnly) {
    RequestQueue queue;
    for (DWORD number = 1; number <= 3; ++number) {
        queue.Push(Named(1, number));
        queue.Push(Named(2, number));
    }
    queue.RemoveIf(1, [](const PACKET& packet) { return Vorn::Bytes::LoadLE32(packet.data.get()) != 2; });
    queue.RemoveIf(3, [](const PACKET&) { return true; });  // nothing queued for it
    EXPECT_EQ(0u, queue.Drop(3));
    EXPECT_EQ(4u, queue.Size());
    EXPECT_EQ("a2", NameOf(queue.Front()));
    EXPECT_EQ(3u, queue.Drop(2));
    EXPECT_EQ("a2 ", Drain(queue));

    // A connection whose requests were all removed has no turn left.
    queue.Push(Named(1, 7));
    queue.Push(Named(2, 7));
    queue.RemoveIf(1, [](const PACKET&) { return true; });
    EXPECT_EQ("b7 ", Drain(queue));
}

}  // namespace
