#pragma once
// The composition store: the ordered list of named compositions, each an
// ordered list of items (a clip file name and the pause after it).
//
// Both levels are singly linked lists with a sentinel (dummy head) record, as
// the window walks them: Gyoker()->Kov is the first composition, and
// c->Elemek->Kov the first item of composition c. Records are addressed by
// position (the selected row), never by name, so duplicate and empty names
// are fine.
//
// Appending a composition costs the same whatever the list's length: the
// store keeps the last composition. The chains are changed only through the
// store's operations (the window reads the records, never relinks them); an
// append made past the remembered last one is still found before linking.
//
// Ownership: the store owns every record; the window owns the store.
// Releasing walks the chains in loops, never by recursion, so a list of any
// length is released without deep stacks.
//
// Threads: GUI thread only. Nothing here locks; the audio threads never see
// these records (a test run copies the clip paths it needs).
//
// Failure handling: a call whose precondition fails (moving the first record
// up, deleting past the end, an item operation on the root sentinel, moving,
// renaming or deleting a composition that is not in this store) changes
// nothing and returns false (null for the appends). The callers
// test the preconditions before calling; the checks here only keep a slip from
// corrupting the lists.

#include <cstdint>
#include <string>

struct TElem;
struct TGyElem;
using PElem = TElem*;
using PGyElem = TGyElem*;

// One item of a composition, or a composition's item sentinel.
struct TElem {
  int32_t Sorszam = 0;   // 1..n within its composition; 0 in the sentinel
  std::string FajlNev;   // Windows-1250 bytes, relative to the clip folder
  double Hossz = 0;      // clip length in whole seconds
  double Szunet = 0;     // pause after the clip in whole milliseconds
  PElem Kov = nullptr;   // next item; null at the end
};

// One composition, or the root sentinel.
struct TGyElem {
  std::string Nev;          // Windows-1250 bytes exactly as entered
  PElem Elemek = nullptr;   // own item sentinel; null only in the root
  PGyElem Kov = nullptr;    // next composition; null at the end
};

class TCompositionStore {
 public:
  TCompositionStore();
  ~TCompositionStore();
  TCompositionStore(const TCompositionStore&) = delete;
  TCompositionStore& operator=(const TCompositionStore&) = delete;

  // The root sentinel; Gyoker()->Kov is the first composition, null when
  // the store is empty.
  PGyElem Gyoker() const { return Gyoker_; }
  bool Ures() const { return Gyoker_->Kov == nullptr; }

  // The composition selected on the editing side (target of the item
  // operations) and on the test side. Both start as the root sentinel; the
  // window's selection handlers set them. Deleting or clearing a composition
  // one of them points at resets that one to the root sentinel, so neither
  // ever dangles.
  PGyElem AktGyoker;
  PGyElem TesztGyoker;

  // Appends a composition named `name` with an empty item list; returns it.
  PGyElem GyokerHozzaadas(const std::string& name);

  // Appends an item to composition c, numbered after the last one; returns
  // it, or null when c is the root sentinel.
  PElem ElemHozzaadas(PGyElem c, const std::string& fileName, int32_t length, int32_t pause);

  // Swaps composition c with its predecessor. Moving c down is
  // GyokerFeljebb(c->Kov). False (nothing moved) when c is the first, the
  // root or not in the store.
  bool GyokerFeljebb(PGyElem c);

  // Swaps item e of composition c with its predecessor and swaps their
  // numbers. False (nothing moved) when e is the first item, the sentinel or
  // not in c.
  bool ElemFeljebb(PGyElem c, PElem e);

  // Unlinks and releases composition c with its item sentinel and items.
  // False when c is the root or not in the store.
  bool GyokerTorles(PGyElem c);

  // Unlinks and releases the item at 0-based position r of composition c and
  // renumbers the items after it. False when there is no item at r.
  bool ElemTorles(PGyElem c, int r);

  // Renames composition c (not the root). The name is kept as given.
  bool GyokerAtnevezes(PGyElem c, const std::string& name);

  // Releases every composition with its items; the store is empty after.
  void Uritas();

  // The composition at 0-based position p: the root for p < 0, null past
  // the end.
  PGyElem GyokerKeres(int p) const;

  // The item at 0-based position r of composition c: the item sentinel for
  // r < 0, null past the end or when c is the root.
  PElem ElemKeres(PGyElem c, int r) const;

  // Number of compositions; number of items of c (0 for the root).
  int GyokerSzam() const;
  static int ElemSzam(PGyElem c);

 private:
  static void ReleaseItems(PElem first);
  static void ReleaseComposition(PGyElem c);
  PGyElem Predecessor(PGyElem c) const;

  PGyElem Gyoker_;
  PGyElem Utolso_;  // the last composition; Gyoker_ while the store is empty
};
