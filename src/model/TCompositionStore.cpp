#include "model/TCompositionStore.h"

#include <memory>

// Records are created with make_unique and handed to the chain with release()
// only once every allocation for them has succeeded, so a failed allocation
// leaves the lists as they were.

TCompositionStore::TCompositionStore() : Gyoker_(new TGyElem), Utolso_(Gyoker_) {
  AktGyoker = Gyoker_;
  TesztGyoker = Gyoker_;
}

TCompositionStore::~TCompositionStore() {
  Uritas();
  delete Gyoker_;
}

void TCompositionStore::ReleaseItems(PElem first) {
  while (first) {
    PElem next = first->Kov;
    delete first;
    first = next;
  }
}

void TCompositionStore::ReleaseComposition(PGyElem c) {
  ReleaseItems(c->Elemek);
  delete c;
}

PGyElem TCompositionStore::Predecessor(PGyElem c) const {
  if (!c || c == Gyoker_) return nullptr;
  for (PGyElem p = Gyoker_; p; p = p->Kov)
    if (p->Kov == c) return p;
  return nullptr;
}

PGyElem TCompositionStore::GyokerHozzaadas(const std::string& name) {
  PGyElem last = Utolso_;
  while (last->Kov) last = last->Kov;
  auto c = std::make_unique<TGyElem>();
  c->Nev = name;
  c->Elemek = new TElem;
  last->Kov = c.release();
  Utolso_ = last->Kov;
  return Utolso_;
}

PElem TCompositionStore::ElemHozzaadas(PGyElem c, const std::string& fileName, int32_t length, int32_t pause) {
  if (!c || !c->Elemek) return nullptr;
  int32_t number = 1;
  PElem cursor = c->Elemek;
  while (cursor->Kov) {
    ++number;
    cursor = cursor->Kov;
  }
  auto e = std::make_unique<TElem>();
  e->Sorszam = number;
  e->FajlNev = fileName;
  e->Hossz = length;
  e->Szunet = pause;
  cursor->Kov = e.release();
  return cursor->Kov;
}

bool TCompositionStore::GyokerFeljebb(PGyElem c) {
  PGyElem p = Predecessor(c);
  if (!p || p == Gyoker_) return false;
  PGyElem q = Predecessor(p);
  p->Kov = c->Kov;
  q->Kov = c;
  c->Kov = p;
  if (Utolso_ == c) Utolso_ = p;
  return true;
}

bool TCompositionStore::ElemFeljebb(PGyElem c, PElem e) {
  if (!c || !c->Elemek || !e || e == c->Elemek) return false;
  PElem q = nullptr;
  PElem p = c->Elemek;
  while (p && p->Kov != e) {
    q = p;
    p = p->Kov;
  }
  if (!p || !q) return false;  // not in c, or already the first item
  --e->Sorszam;
  ++p->Sorszam;
  p->Kov = e->Kov;
  q->Kov = e;
  e->Kov = p;
  return true;
}

bool TCompositionStore::GyokerTorles(PGyElem c) {
  PGyElem p = Predecessor(c);
  if (!p) return false;
  p->Kov = c->Kov;
  if (Utolso_ == c) Utolso_ = p;
  if (AktGyoker == c) AktGyoker = Gyoker_;
  if (TesztGyoker == c) TesztGyoker = Gyoker_;
  ReleaseComposition(c);
  return true;
}

bool TCompositionStore::ElemTorles(PGyElem c, int r) {
  if (!c || !c->Elemek || r < 0) return false;
  PElem prev = c->Elemek;
  for (int i = 0; i < r && prev->Kov; ++i) prev = prev->Kov;
  PElem gone = prev->Kov;
  if (!gone) return false;
  prev->Kov = gone->Kov;
  delete gone;
  for (PElem e = prev->Kov; e; e = e->Kov) --e->Sorszam;
  return true;
}

bool TCompositionStore::GyokerAtnevezes(PGyElem c, const std::string& name) {
  if (!Predecessor(c)) return false;
  c->Nev = name;
  return true;
}

void TCompositionStore::Uritas() {
  PGyElem c = Gyoker_->Kov;
  Gyoker_->Kov = nullptr;
  Utolso_ = Gyoker_;
  while (c) {
    PGyElem next = c->Kov;
    ReleaseComposition(c);
    c = next;
  }
  AktGyoker = Gyoker_;
  TesztGyoker = Gyoker_;
}

PGyElem TCompositionStore::GyokerKeres(int p) const {
  PGyElem c = Gyoker_;
  for (int i = 0; i <= p && c; ++i) c = c->Kov;
  return c;
}

PElem TCompositionStore::ElemKeres(PGyElem c, int r) const {
  if (!c || !c->Elemek) return nullptr;
  PElem e = c->Elemek;
  for (int i = 0; i <= r && e; ++i) e = e->Kov;
  return e;
}

int TCompositionStore::GyokerSzam() const {
  int n = 0;
  for (PGyElem c = Gyoker_->Kov; c; c = c->Kov) ++n;
  return n;
}

int TCompositionStore::ElemSzam(PGyElem c) {
  if (!c || !c->Elemek) return 0;
  int n = 0;
  for (PElem e = c->Elemek->Kov; e; e = e->Kov) ++n;
  return n;
}
