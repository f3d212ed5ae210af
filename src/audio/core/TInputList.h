#pragma once
// An input that plays a list of other inputs one after another as one stream:
// when the current item runs dry it is flushed and the next one is started
// within the same pull, so the consumer sees no gap.
//
// One format per pass: the pass format is that of the first item whose input
// opens (Init does not fail and reports a playable format; see Opened).
// Every later item in another format is converted to it (channels, bits,
// rate); items already in the pass format pass through untouched. Items that
// cannot be opened are skipped wherever they stand. While busy, the format
// queries report the pass format; before a pass, PassFormatOf tells what it
// will be.
//
// The items' inputs are owned by the caller and not watched: clear the list
// before freeing them, and do not change the items while the list is busy.
// OnInputChanged is posted (from the worker, through the shared event thread)
// each time the list moves to a next item.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/core/TAuInput.h"
#include "audio/core/TEventSlot.h"

class TPcmConverter;
class TInputItems;

class TInputItem {
 public:
  explicit TInputItem(TInputItems* Collection) : FCollection(Collection) {}
  TAuInput* Input = nullptr;  // not owned
  TInputItems* Collection() const { return FCollection; }
  int Index() const;

 private:
  TInputItems* FCollection;
};

class TInputItems {
 public:
  explicit TInputItems(TComponent* Owner = nullptr) : FOwner(Owner) {}
  TInputItems(const TInputItems&) = delete;
  TInputItems& operator=(const TInputItems&) = delete;

  TInputItem* Add();
  TInputItem* Add(TAuInput* Input);
  void Delete(int Index);
  void Clear();
  int Count() const { return static_cast<int>(Items.size()); }
  TInputItem* Item(int Index) const { return Items.at(static_cast<size_t>(Index)).get(); }
  int IndexOf(const TInputItem* Item) const;
  // Replaces the items with copies of Source's.
  void Assign(const TInputItems& Source);
  TComponent* Owner() const { return FOwner; }

 private:
  TComponent* FOwner;
  std::vector<std::unique_ptr<TInputItem>> Items;
};

class TInputList : public TAuInput {
 public:
  explicit TInputList(TComponent* AOwner = nullptr);
  ~TInputList() override;

  uint32_t GetBitsPerSample() override;
  uint32_t GetChannels() override;
  uint32_t GetSampleRate() override;

  // The rule for the pass format, in one place. Opened: whether `Input`,
  // whose run has just been started with Init, opens for the list (the run
  // did not fail and the format is playable); `Format` is then its format.
  static bool Opened(TAuInput& Input, TPcmFormat& Format);
  // The pass format a list of `Inputs` will take: that of the first one that
  // opens; not playable when none does. Starts and ends (Init, Flush) a run
  // of each input up to that one, so they must be idle and not shared with a
  // running pass (GUI thread, before the list plays). A memory input
  // forgets its data at Flush: give only inputs that read a source.
  static TPcmFormat PassFormatOf(const std::vector<TAuInput*>& Inputs);

  // Makes, before a pass, the converter of every item whose format
  // (ItemFormats[i], as the caller read it; not playable when unknown)
  // differs from Pass, so that moving from item to item sets nothing up on
  // the worker: the pass only takes the converter made for the item. An item
  // found in another format when it starts, or a pass whose format is not
  // Pass, gets its converter made then (counted by ConvertersMadeInPass).
  // GUI thread, while the list is idle; used by the next pass only.
  void PrepareConversions(const std::vector<TPcmFormat>& ItemFormats, const TPcmFormat& Pass);
  // Any thread. Converters made when an item started because none had been
  // prepared for it, over the list's life.
  int ConvertersMadeInPass() const { return FConvertersMadeInPass.load(); }

  TInputItems& InputItems() { return FInputItems; }
  // Copies Value's items into the list's own collection.
  void SetInputItems(const TInputItems& Value) { FInputItems.Assign(Value); }
  int CurrentIndex() const { return FCurrentIndex.load(); }

  TEventSlot OnInputChanged;  // TInputChangedEvent
  // Position and Size follow the current item (else Size is -1). Set from
  // the GUI thread, read by the worker in every pull.
  std::atomic<bool> IndicateProgress{true};

 protected:
  void DoInit() override;
  void DoFlush() override;
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  TAuInput& ItemInput(int Index);  // raises when the item has no input
  // One value of the reported format: the pass format's once a busy pass has
  // fixed it, else the value Of reports for the current item (the first one
  // when idle); 0 without such an item.
  uint32_t FormatValue(uint32_t TPcmFormat::*Field, uint32_t (TAuInput::*Of)());
  void MoveNext();                 // next index, OnInputChanged
  // Init the item at the current index, moving on past items that do not
  // open; false when none is left.
  bool StartFrom();
  void StartConversion(int Index, TAuInput& Input);
  void UpdateSizeFromItem(TAuInput& Input);
  void UpdatePositionFromItem(TAuInput& Input);
  // Pulls one block of the current item (converted when needed).
  void PullCurrent(const uint8_t*& Buffer, uint32_t& Bytes, uint32_t Asked);

  std::atomic<int> FCurrentIndex{0};
  TInputItems FInputItems;
  std::mutex ListLock;  // guards the pass state below
  std::mutex PassFormatLock;  // leaf; guards PassFormat (read by format queries)
  TPcmFormat PassFormat;
  bool CurrentStarted = false;  // the current item is Init-ed and not yet flushed
  std::unique_ptr<TPcmConverter> Converter;  // set while the current item is converted
  std::vector<std::unique_ptr<TPcmConverter>> Prepared;  // by item index, for the next pass
  std::atomic<int> FConvertersMadeInPass{0};
  std::vector<uint8_t> ConvertedData;
  size_t ConvertedRead = 0;
  bool ConverterDrained = false;
};
