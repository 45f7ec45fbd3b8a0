#include "Source/karaoke/host/Rotation.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace vantle::host;

namespace {

// A rotation driven by a script of steps on singers named by one letter:
//   +X add X   sX a song for X   > the next singer starts (one of their songs is sung)
//   aX away    bX back   kX skip a round   -X remove   mIJ seat I moves to J   R / E the newcomer rule
struct Scripted {
    Rotation rotation;
    std::map<SingerId, int> songs;
    NewcomerRule rule = NewcomerRule::endOfRotation;

    Rotation::HasSong hasSong() const {
        return [this](SingerId s) {
            const auto found = songs.find(s);
            return found != songs.end() && found->second > 0;
        };
    }
    void run(const std::string& script) {
        for (std::size_t i = 0; i < script.size(); ++i) {
            const char step = script[i];
            if (step == ' ') continue;
            if (step == '>') {
                if (const auto at = rotation.advance(hasSong())) --songs[rotation.seats()[*at].singer];
                continue;
            }
            if (step == 'R' || step == 'E') {
                rule = step == 'R' ? NewcomerRule::afterCurrentRound : NewcomerRule::endOfRotation;
                continue;
            }
            const char a = script[++i];
            const SingerId singer = a;
            switch (step) {
            case '+':
                rotation.add(singer, rule);
                break;
            case 's':
                ++songs[singer];
                break;
            case 'a':
                rotation.setAway(singer, true);
                break;
            case 'b':
                rotation.setAway(singer, false);
                break;
            case 'k':
                rotation.setSkipRound(singer, true);
                break;
            case '-':
                rotation.remove(singer);
                break;
            case 'm':
                rotation.move(static_cast<std::size_t>(a - '0'), static_cast<std::size_t>(script[++i] - '0'));
                break;
            default:
                FAIL() << "unknown step " << step;
            }
        }
    }
    std::string order() const {
        std::string letters;
        for (const Seat& seat : rotation.seats())
            letters += static_cast<char>(seat.singer);
        return letters;
    }
    char current() const {
        return rotation.currentSinger() ? static_cast<char>(*rotation.currentSinger()) : '-';
    }
    char next() const {
        const auto at = rotation.nextIndex(hasSong());
        return at ? static_cast<char>(rotation.seats()[*at].singer) : '-';
    }
};

struct RotationCase {
    const char* name;
    const char* script;
    const char* order;
    char current;
    char next;
};

const RotationCase rotationCases[] = {
    {"nobody", "", "", '-', '-'},
    {"singers without songs are not next", "+A +B", "AB", '-', '-'},
    {"the first with a song is next before anyone sang", "+A +B sB", "AB", '-', 'B'},
    {"turns follow the order", "+A +B +C sA sB sC >", "ABC", 'A', 'B'},
    {"a singer without a song is passed over", "+A +B +C sA sC >", "ABC", 'A', 'C'},
    {"the order wraps round to the top", "+A +B sA sA sB > >", "AB", 'B', 'A'},
    {"the only singer with songs is next again", "+A +B sA sA >", "AB", 'A', 'A'},
    {"newcomers go to the end by default", "+A +B +C sA sB sC > > +D sD", "ABCD", 'B', 'C'},
    {"after the current round: before the current singer", "R +A +B +C sA sB sC > > +D sD", "ADBC", 'B', 'C'},
    {"after the round, they sing once everyone has", "R +A +B +C sA sB sC sA > > +D sD > >", "ADBC", 'A',
     'D'},
    {"at the end, they sing after this round's last", "+A +B +C sA sB sC sA > > +D sD >", "ABCD", 'C', 'D'},
    {"a newcomer before anyone sang goes last either way", "R +A +B +D", "ABD", '-', '-'},
    {"a singer added twice keeps their seat", "+A +B +A", "AB", '-', '-'},
    {"away is passed over", "+A +B +C sA sB sC > aB", "ABC", 'A', 'C'},
    {"back again takes their turn", "+A +B +C sA sB sC > aB bB", "ABC", 'A', 'B'},
    {"a skip passes the singer over once", "+A +B +C sA sB sC sA sB kB >", "ABC", 'A', 'C'},
    {"a skip is spent when passed over", "+A +B +C sA sB sC sA sB kB > > >", "ABC", 'A', 'B'},
    {"a skip is not spent by looking", "+A +B +C sA sB sC kB", "ABC", '-', 'A'},
    {"the current singer removed: the one after them is next", "+A +B +C sA sB sC sA > > -B", "AC", 'A', 'C'},
    {"the first singer removed while current", "+A +B sA sB sA > -A", "B", '-', 'B'},
    {"a singer before the current one removed", "+A +B +C sA sB sC > > -A", "BC", 'B', 'C'},
    {"dragging keeps the current singer", "+A +B +C sA sB sC > m02", "BCA", 'A', 'B'},
    {"dragged ahead of the current singer waits a round", "+A +B +C +D sA sB sC sD > > m30", "DABC", 'B',
     'C'},
    {"dragged right after the current singer is next", "+A +B +C +D sA sB sC sD > m32", "ABDC", 'A', 'B'},
    {"everyone away: no one is next", "+A +B sA sB aA aB", "AB", '-', '-'},
};

class RotationRules : public ::testing::TestWithParam<RotationCase> {};

TEST_P(RotationRules, OrderCurrentAndNext) {
    const RotationCase& c = GetParam();
    Scripted rotation;
    rotation.run(c.script);
    EXPECT_EQ(rotation.order(), c.order);
    EXPECT_EQ(rotation.current(), c.current);
    EXPECT_EQ(rotation.next(), c.next);
}

INSTANTIATE_TEST_SUITE_P(Table, RotationRules, ::testing::ValuesIn(rotationCases), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

} // namespace
