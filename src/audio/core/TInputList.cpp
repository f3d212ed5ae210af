#include "audio/core/TInputList.h"

#include <algorithm>
#include <string>

#include "audio/core/EAuException.h"
#include "audio/core/TEventHandler.h"
#include "audio/core/TPcmConverter.h"

namespace {
// Input bytes pulled per refill of the conversion buffer.
constexpr uint32_t ConvertChunk = 16384;
}  // namespace

int TInputItem::Index() const { return FCollection ? FCollection->IndexOf(this) : -1; }

TInputItem* TInputItems::Add() {
  Items.push_back(std::make_unique<TInputItem>(this));
  return Items.back().get();
}

TInputItem* TInputItems::Add(TAuInput* Input) {
  TInputItem* item = Add();
  item->Input = Input;
  return item;
}

void TInputItems::Delete(int Index) {
  if (Index < 0 || Index >= Count()) return;
  Items.erase(Items.begin() + Index);
}

void TInputItems::Clear() { Items.clear(); }

int TInputItems::IndexOf(const TInputItem* Item) const {
  for (size_t i = 0; i < Items.size(); ++i)
    if (Items[i].get() == Item) return static_cast<int>(i);
  return -1;
}

void TInputItems::Assign(const TInputItems& Source) {
  if (&Source == this) return;
  Items.clear();
  for (const auto& item : Source.Items) Add(item->Input);
}

TInputList::TInputList(TComponent* AOwner) : TAuInput(AOwner), FInputItems(this) {
  Position.store(0);
  Size.store(-1);
}

TInputList::~TInputList() = default;

uint32_t TInputList::FormatValue(uint32_t TPcmFormat::*Field, uint32_t (TAuInput::*Of)()) {
  if (Busy.load()) {
    std::lock_guard lock(PassFormatLock);
    if (PassFormat.IsPlayable()) return PassFormat.*Field;
  }
  const int index = Busy.load() ? FCurrentIndex.load() : 0;
  if (index >= FInputItems.Count()) return 0;
  TAuInput* input = FInputItems.Item(index)->Input;
  return input ? (input->*Of)() : 0;
}

uint32_t TInputList::GetBitsPerSample() { return FormatValue(&TPcmFormat::BitsPerSample, &TAuInput::BitsPerSample); }

uint32_t TInputList::GetChannels() { return FormatValue(&TPcmFormat::Channels, &TAuInput::Channels); }

uint32_t TInputList::GetSampleRate() { return FormatValue(&TPcmFormat::SampleRate, &TAuInput::SampleRate); }

TAuInput& TInputList::ItemInput(int Index) {
  TAuInput* input = FInputItems.Item(Index)->Input;
  if (!input) throw EAuException("No input assigned to the input item " + std::to_string(Index));
  return *input;
}

void TInputList::MoveNext() {
  FCurrentIndex.fetch_add(1);
  if (TNotifyEvent handler = OnInputChanged.Get()) TEventHandler::PostGeneric(this, std::move(handler));
}

void TInputList::UpdateSizeFromItem(TAuInput& Input) {
  if (!IndicateProgress.load()) {
    Size.store(-1);
    return;
  }
  const int64_t size = Input.Size.load();
  Size.store(Converter && size > 0 ? Converter->OutputBytesFor(size) : size);
}

void TInputList::UpdatePositionFromItem(TAuInput& Input) {
  if (!IndicateProgress.load()) return;
  int64_t position = Input.Position.load();
  if (Converter) {
    position = Converter->OutputBytesFor(position);
    const int64_t size = Size.load();
    if (size > 0) position = std::min(position, size);
  }
  Position.store(position);
}

void TInputList::StartConversion(int Index, TAuInput& Input) {
  ConvertedData.clear();
  ConvertedRead = 0;
  ConverterDrained = false;
  const TPcmFormat format = Input.Format();
  std::unique_ptr<TPcmConverter> prepared =
      size_t(Index) < Prepared.size() ? std::move(Prepared[size_t(Index)]) : nullptr;
  if (format == PassFormat) {
    Converter.reset();
    return;
  }
  if (prepared && prepared->InFormat() == format && prepared->OutFormat() == PassFormat) {
    Converter = std::move(prepared);
    return;
  }
  ++FConvertersMadeInPass;
  Converter = std::make_unique<TPcmConverter>(format, PassFormat);
}

void TInputList::PrepareConversions(const std::vector<TPcmFormat>& ItemFormats, const TPcmFormat& Pass) {
  std::lock_guard lock(ListLock);
  if (Busy.load()) throw EAuException("The component is busy.");
  Prepared.clear();
  Prepared.resize(ItemFormats.size());
  for (size_t i = 0; i < ItemFormats.size(); ++i) {
    if (!ItemFormats[i].IsPlayable() || ItemFormats[i] == Pass) continue;
    try {
      Prepared[i] = std::make_unique<TPcmConverter>(ItemFormats[i], Pass);
    } catch (const EAuException&) {
      // Not convertible: the pass skips the item when it gets there.
    }
  }
}

bool TInputList::Opened(TAuInput& Input, TPcmFormat& Format) {
  if (Input.EndOfData.load()) return false;
  Format = Input.Format();
  return Format.IsPlayable();
}

TPcmFormat TInputList::PassFormatOf(const std::vector<TAuInput*>& Inputs) {
  for (TAuInput* input : Inputs) {
    // A pass stops at an item without input.
    if (!input) return {};
    input->Init();
    TPcmFormat format;
    const bool opened = Opened(*input, format);
    try {
      input->Flush();
    } catch (...) {
      // Ending the trial run may fail like any Flush; the answer stands.
    }
    if (opened) return format;
  }
  return {};
}

bool TInputList::StartFrom() {
  for (;;) {
    const int index = FCurrentIndex.load();
    TAuInput& input = ItemInput(index);
    input.Init();
    CurrentStarted = true;
    TPcmFormat format;
    bool opened = Opened(input, format);
    if (opened) {
      if (!PassFormat.IsPlayable()) {
        std::lock_guard lock(PassFormatLock);
        PassFormat = format;
      }
      try {
        StartConversion(index, input);
      } catch (const EAuException&) {
        opened = false;  // a format the converter cannot take: skip the item
      }
    }
    if (opened) {
      UpdateSizeFromItem(input);
      Position.store(0);
      return true;
    }
    // The item cannot be played (missing or unreadable file): skip it.
    CurrentStarted = false;
    input.Flush();
    if (index + 1 >= FInputItems.Count()) {
      // No item left that opens: the list is used up.
      Converter.reset();
      Size.store(IndicateProgress.load() ? 0 : -1);
      Position.store(0);
      return false;
    }
    MoveNext();
  }
}

void TInputList::DoInit() {
  if (Busy.load()) throw EAuException("The component is busy.");
  if (FInputItems.Count() == 0) throw EAuException("No input items in the list.");
  std::lock_guard lock(ListLock);
  ItemInput(FCurrentIndex.load());  // raises for an item without input
  {
    std::lock_guard formatLock(PassFormatLock);
    PassFormat = TPcmFormat{};
  }
  Converter.reset();
  CurrentStarted = false;
  Busy.store(true);
  Position.store(0);
  try {
    StartFrom();
  } catch (...) {
    // Skipping reached an item without input: the run does not start.
    if (CurrentStarted) {
      CurrentStarted = false;
      try {
        ItemInput(FCurrentIndex.load()).Flush();
      } catch (...) {
      }
    }
    FCurrentIndex.store(0);
    Converter.reset();
    Busy.store(false);
    throw;
  }
}

void TInputList::PullCurrent(const uint8_t*& Buffer, uint32_t& Bytes, uint32_t Asked) {
  Buffer = nullptr;
  if (!CurrentStarted) {
    Bytes = 0;
    return;
  }
  TAuInput& input = ItemInput(FCurrentIndex.load());
  if (!Converter) {
    Bytes = Asked;
    input.GetData(Buffer, Bytes);
    if (Bytes > Asked) Bytes = Asked;
    return;
  }
  for (;;) {
    if (ConvertedRead < ConvertedData.size()) {
      const size_t left = ConvertedData.size() - ConvertedRead;
      Bytes = static_cast<uint32_t>(std::min<size_t>(Asked, left));
      Buffer = ConvertedData.data() + ConvertedRead;
      ConvertedRead += Bytes;
      return;
    }
    if (ConverterDrained || Asked == 0) {
      Bytes = 0;
      return;
    }
    ConvertedData.clear();
    ConvertedRead = 0;
    const uint8_t* block = nullptr;
    uint32_t got = ConvertChunk;
    input.GetData(block, got);
    if (got == 0 || !block) {
      Converter->Drain(ConvertedData);
      ConverterDrained = true;
    } else {
      Converter->Convert(block, std::min(got, ConvertChunk), ConvertedData);
    }
  }
}

void TInputList::GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) {
  std::lock_guard lock(ListLock);
  const uint32_t asked = Bytes;
  if (!Busy.load()) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  PullCurrent(Buffer, Bytes, asked);
  while (Bytes == 0 && asked > 0 && FCurrentIndex.load() + 1 < FInputItems.Count()) {
    if (CurrentStarted) {
      CurrentStarted = false;
      ItemInput(FCurrentIndex.load()).Flush();
    }
    MoveNext();
    if (!StartFrom()) break;
    PullCurrent(Buffer, Bytes, asked);
  }
  if (CurrentStarted) UpdatePositionFromItem(ItemInput(FCurrentIndex.load()));
}

void TInputList::DoFlush() {
  std::lock_guard lock(ListLock);
  const bool started = CurrentStarted;
  const int index = FCurrentIndex.load();
  CurrentStarted = false;
  FCurrentIndex.store(0);
  Converter.reset();
  Prepared.clear();
  ConvertedData.clear();
  ConvertedRead = 0;
  {
    std::lock_guard formatLock(PassFormatLock);
    PassFormat = TPcmFormat{};
  }
  Busy.store(false);
  // The last item is flushed here, at the end of the pass.
  if (started && index < FInputItems.Count()) {
    if (TAuInput* input = FInputItems.Item(index)->Input) input->Flush();
  }
}
