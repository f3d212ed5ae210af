#include "model/TCompositionStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(const TCompositionStore& store) {
  std::vector<std::string> names;
  for (PGyElem c = store.Gyoker()->Kov; c; c = c->Kov) names.push_back(c->Nev);
  return names;
}

// Items as "number:file" so order and numbering are checked together.
std::vector<std::string> Items(PGyElem c) {
  std::vector<std::string> items;
  for (PElem e = c->Elemek->Kov; e; e = e->Kov) items.push_back(std::to_string(e->Sorszam) + ":" + e->FajlNev);
  return items;
}

PGyElem WithItems(TCompositionStore& store, const std::string& name, int count) {
  PGyElem c = store.GyokerHozzaadas(name);
  for (int i = 1; i <= count; ++i) store.ElemHozzaadas(c, "c" + std::to_string(i) + ".wav", i, 100 * i);
  return c;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(CompositionStore, StartsEmptyWithARootSentinelAndNoComposition) {
  TCompositionStore store;
  ASSERT_NE(store.Gyoker(), nullptr);
  EXPECT_EQ(store.Gyoker()->Kov, nullptr);
  EXPECT_EQ(store.Gyoker()->Elemek, nullptr);
  EXPECT_TRUE(store.Gyoker()->Nev.empty());
  EXPECT_TRUE(store.Ures());
  EXPECT_EQ(store.GyokerKeres(0), nullptr);
  EXPECT_EQ(store.GyokerKeres(5), nullptr);
  EXPECT_EQ(store.GyokerKeres(-1), store.Gyoker());
  EXPECT_EQ(store.AktGyoker, store.Gyoker());
  EXPECT_EQ(store.TesztGyoker, store.Gyoker());
}

TEST(CompositionStore, AppendsCompositionsInOrderEachWithItsOwnEmptyItemSentinel) {
  TCompositionStore store;
  PGyElem a = store.GyokerHozzaadas("Reggel");
  PGyElem b = store.GyokerHozzaadas(" Reggel ");
  PGyElem c = store.GyokerHozzaadas("Reggel");  // duplicates are allowed
  EXPECT_EQ(Names(store), (Strings{"Reggel", " Reggel ", "Reggel"}));
  EXPECT_EQ(store.GyokerKeres(0), a);
  EXPECT_EQ(store.GyokerKeres(1), b);
  EXPECT_EQ(store.GyokerKeres(2), c);
  EXPECT_EQ(store.GyokerKeres(3), nullptr);
  EXPECT_EQ(store.GyokerSzam(), 3);
  for (PGyElem x : {a, b, c}) {
    ASSERT_NE(x->Elemek, nullptr);
    EXPECT_EQ(x->Elemek->Sorszam, 0);
    EXPECT_TRUE(x->Elemek->FajlNev.empty());
    EXPECT_EQ(x->Elemek->Kov, nullptr);
    EXPECT_EQ(TCompositionStore::ElemSzam(x), 0);
  }
  EXPECT_NE(a->Elemek, b->Elemek);
  EXPECT_NE(b->Elemek, c->Elemek);
}

TEST(CompositionStore, NumbersAppendedItemsFromOneAndStoresLengthAndPauseAsWholeNumbers) {
  TCompositionStore store;
  PGyElem c = WithItems(store, "x", 3);
  PElem fourth = store.ElemHozzaadas(c, "gong.wav", 7, -250);
  ASSERT_NE(fourth, nullptr);
  EXPECT_EQ(fourth->Sorszam, 4);
  EXPECT_EQ(fourth->Hossz, 7.0);
  EXPECT_EQ(fourth->Szunet, -250.0);
  EXPECT_EQ(store.ElemKeres(c, 0)->Sorszam, 1);
  EXPECT_EQ(store.ElemKeres(c, 3), fourth);
  EXPECT_EQ(store.ElemKeres(c, 4), nullptr);
  EXPECT_EQ(store.ElemKeres(c, -1), c->Elemek);
  PElem big = store.ElemHozzaadas(c, "b.wav", INT32_MAX, INT32_MIN);
  EXPECT_EQ(big->Hossz, 2147483647.0);
  EXPECT_EQ(big->Szunet, -2147483648.0);
}

TEST(CompositionStore, RefusesItemOperationsOnTheRootSentinel) {
  TCompositionStore store;
  EXPECT_EQ(store.ElemHozzaadas(store.Gyoker(), "a.wav", 1, 1), nullptr);
  EXPECT_EQ(store.ElemHozzaadas(nullptr, "a.wav", 1, 1), nullptr);
  EXPECT_FALSE(store.ElemTorles(store.Gyoker(), 0));
  EXPECT_EQ(store.ElemKeres(store.Gyoker(), 0), nullptr);
  EXPECT_EQ(TCompositionStore::ElemSzam(store.Gyoker()), 0);
  EXPECT_FALSE(store.GyokerAtnevezes(store.Gyoker(), "x"));
  EXPECT_TRUE(store.Gyoker()->Nev.empty());
}

TEST(CompositionStore, DeletingAnItemRenumbersTheItemsAfterIt) {
  TCompositionStore store;
  PGyElem c = WithItems(store, "x", 4);
  EXPECT_TRUE(store.ElemTorles(c, 1));
  EXPECT_EQ(Items(c), (Strings{"1:c1.wav", "2:c3.wav", "3:c4.wav"}));
  EXPECT_TRUE(store.ElemTorles(c, 2));  // the last one
  EXPECT_EQ(Items(c), (Strings{"1:c1.wav", "2:c3.wav"}));
  EXPECT_TRUE(store.ElemTorles(c, 0));  // the first one
  EXPECT_EQ(Items(c), (Strings{"1:c3.wav"}));
  // Appending after deletions continues the numbering without gaps.
  store.ElemHozzaadas(c, "n.wav", 1, 1);
  EXPECT_EQ(Items(c), (Strings{"1:c3.wav", "2:n.wav"}));
}

TEST(CompositionStore, DeletingAnItemOutsideTheListChangesNothing) {
  TCompositionStore store;
  PGyElem c = WithItems(store, "x", 2);
  EXPECT_FALSE(store.ElemTorles(c, 2));
  EXPECT_FALSE(store.ElemTorles(c, -1));
  EXPECT_FALSE(store.ElemTorles(c, 1000));
  EXPECT_EQ(Items(c), (Strings{"1:c1.wav", "2:c2.wav"}));
  PGyElem empty = store.GyokerHozzaadas("empty");
  EXPECT_FALSE(store.ElemTorles(empty, 0));
}

TEST(CompositionStore, MovingAnItemUpSwapsItWithItsPredecessorAndSwapsTheirNumbers) {
  TCompositionStore store;
  PGyElem c = WithItems(store, "x", 4);
  EXPECT_TRUE(store.ElemFeljebb(c, store.ElemKeres(c, 2)));
  EXPECT_EQ(Items(c), (Strings{"1:c1.wav", "2:c3.wav", "3:c2.wav", "4:c4.wav"}));
  EXPECT_TRUE(store.ElemFeljebb(c, store.ElemKeres(c, 1)));  // onto the first place
  EXPECT_EQ(Items(c), (Strings{"1:c3.wav", "2:c1.wav", "3:c2.wav", "4:c4.wav"}));
  // Moving down is moving the successor up.
  EXPECT_TRUE(store.ElemFeljebb(c, store.ElemKeres(c, 3)));
  EXPECT_EQ(Items(c), (Strings{"1:c3.wav", "2:c1.wav", "3:c4.wav", "4:c2.wav"}));
  // The last item's successor is the end of the list.
  EXPECT_EQ(store.ElemKeres(c, 4), nullptr);
}

TEST(CompositionStore, RefusesToMoveTheFirstItemASentinelOrAnItemOfAnotherComposition) {
  TCompositionStore store;
  PGyElem c = WithItems(store, "x", 3);
  PGyElem other = WithItems(store, "y", 2);
  EXPECT_FALSE(store.ElemFeljebb(c, store.ElemKeres(c, 0)));
  EXPECT_FALSE(store.ElemFeljebb(c, c->Elemek));
  EXPECT_FALSE(store.ElemFeljebb(c, nullptr));
  EXPECT_FALSE(store.ElemFeljebb(c, store.ElemKeres(other, 1)));
  EXPECT_EQ(Items(c), (Strings{"1:c1.wav", "2:c2.wav", "3:c3.wav"}));
  EXPECT_EQ(Items(other), (Strings{"1:c1.wav", "2:c2.wav"}));
}

TEST(CompositionStore, MovingACompositionUpSwapsItWithItsPredecessor) {
  TCompositionStore store;
  for (const char* n : {"a", "b", "c", "d"}) store.GyokerHozzaadas(n);
  EXPECT_TRUE(store.GyokerFeljebb(store.GyokerKeres(2)));
  EXPECT_EQ(Names(store), (Strings{"a", "c", "b", "d"}));
  EXPECT_TRUE(store.GyokerFeljebb(store.GyokerKeres(1)));  // onto the first place
  EXPECT_EQ(Names(store), (Strings{"c", "a", "b", "d"}));
  EXPECT_TRUE(store.GyokerFeljebb(store.GyokerKeres(3)));  // "b" down = "d" up
  EXPECT_EQ(Names(store), (Strings{"c", "a", "d", "b"}));
  EXPECT_FALSE(store.GyokerFeljebb(store.GyokerKeres(0)));
  EXPECT_FALSE(store.GyokerFeljebb(store.Gyoker()));
  EXPECT_FALSE(store.GyokerFeljebb(nullptr));
  EXPECT_EQ(Names(store), (Strings{"c", "a", "d", "b"}));
  EXPECT_EQ(store.GyokerKeres(3)->Kov, nullptr);
}

// Appends go after the remembered last composition: it must follow every
// change of the list's end.
TEST(CompositionStore, AppendsAtTheEndAfterTheLastCompositionMovedDeletedOrCleared) {
  TCompositionStore store;
  for (const char* n : {"a", "b", "c"}) store.GyokerHozzaadas(n);
  EXPECT_TRUE(store.GyokerFeljebb(store.GyokerKeres(2)));  // the last moves up
  store.GyokerHozzaadas("d");
  EXPECT_EQ(Names(store), (Strings{"a", "c", "b", "d"}));
  EXPECT_TRUE(store.GyokerTorles(store.GyokerKeres(3)));  // the last goes
  store.GyokerHozzaadas("e");
  EXPECT_EQ(Names(store), (Strings{"a", "c", "b", "e"}));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(store.GyokerTorles(store.GyokerKeres(0)));
  store.GyokerHozzaadas("f");  // emptied one by one
  EXPECT_EQ(Names(store), (Strings{"f"}));
  store.Uritas();
  store.GyokerHozzaadas("g");
  EXPECT_EQ(Names(store), (Strings{"g"}));
  EXPECT_EQ(store.GyokerKeres(0)->Kov, nullptr);
}

TEST(CompositionStore, MovingRenamingAndDeletingActOnThePositionNotTheName) {
  TCompositionStore store;
  PGyElem first = WithItems(store, "Hír", 1);
  PGyElem second = WithItems(store, "Hír", 2);
  PGyElem third = store.GyokerHozzaadas("Hír");
  EXPECT_TRUE(store.GyokerAtnevezes(second, "Hír 2"));
  EXPECT_EQ(Names(store), (Strings{"Hír", "Hír 2", "Hír"}));
  EXPECT_TRUE(store.GyokerFeljebb(third));
  EXPECT_EQ(store.GyokerKeres(1), third);
  EXPECT_TRUE(store.GyokerTorles(first));
  EXPECT_EQ(Names(store), (Strings{"Hír", "Hír 2"}));
  EXPECT_EQ(store.GyokerKeres(0), third);
  EXPECT_EQ(store.GyokerKeres(1), second);
  EXPECT_EQ(Items(second), (Strings{"1:c1.wav", "2:c2.wav"}));
}

TEST(CompositionStore, DeletingTheSelectedCompositionLeavesNoDanglingSelection) {
  TCompositionStore store;
  PGyElem a = WithItems(store, "a", 3);
  PGyElem b = WithItems(store, "b", 1);
  store.AktGyoker = a;
  store.TesztGyoker = b;
  EXPECT_TRUE(store.GyokerTorles(a));
  EXPECT_EQ(store.AktGyoker, store.Gyoker());
  EXPECT_EQ(store.TesztGyoker, b);
  EXPECT_EQ(Names(store), (Strings{"b"}));
  EXPECT_FALSE(store.GyokerTorles(store.Gyoker()));  // the root is never released
  EXPECT_TRUE(store.GyokerTorles(b));
  EXPECT_TRUE(store.Ures());
  EXPECT_EQ(store.TesztGyoker, store.Gyoker());
}

TEST(CompositionStore, RefusesToDeleteACompositionOfAnotherStore) {
  TCompositionStore store;
  TCompositionStore other;
  store.GyokerHozzaadas("a");
  PGyElem foreign = other.GyokerHozzaadas("a");
  EXPECT_FALSE(store.GyokerTorles(foreign));
  EXPECT_FALSE(store.GyokerFeljebb(foreign));
  EXPECT_EQ(store.GyokerSzam(), 1);
  EXPECT_EQ(other.GyokerKeres(0), foreign);
}

TEST(CompositionStore, ClearingReleasesEverythingAndTheStoreCanBeFilledAgain) {
  TCompositionStore store;
  store.AktGyoker = WithItems(store, "a", 5);
  store.TesztGyoker = WithItems(store, "b", 0);
  store.Uritas();
  EXPECT_TRUE(store.Ures());
  EXPECT_EQ(store.GyokerSzam(), 0);
  EXPECT_EQ(store.AktGyoker, store.Gyoker());
  EXPECT_EQ(store.TesztGyoker, store.Gyoker());
  PGyElem c = WithItems(store, "new", 2);
  EXPECT_EQ(store.GyokerKeres(0), c);
  EXPECT_EQ(Items(c), (Strings{"1:c1.wav", "2:c2.wav"}));
}

// A recursive release would need a stack frame per record; a million of
// them overflows the default stack (and an instrumented one long before).
TEST(CompositionStore, ReleasesAMillionItemsWithoutRecursing) {
  auto store = std::make_unique<TCompositionStore>();
  PGyElem c = store->GyokerHozzaadas("long");
  // Append at the tail directly: ElemHozzaadas walks the whole list each time.
  PElem tail = c->Elemek;
  for (int i = 1; i <= 1'000'000; ++i) {
    tail->Kov = new TElem{i, "x.wav", 1, 0, nullptr};
    tail = tail->Kov;
  }
  for (int i = 0; i < 1000; ++i) WithItems(*store, "short", 1);
  EXPECT_EQ(store->GyokerSzam(), 1001);
  EXPECT_TRUE(store->ElemTorles(c, 999'999));
  EXPECT_EQ(store->ElemKeres(c, 999'998)->Sorszam, 999'999);
  store.reset();  // must simply return; a crash here fails the test run
}
