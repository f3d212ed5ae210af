#pragma once
// TAuTaggedFileIn: a file input that owns an ID3v1, an ID3v2 and an APEv2
// tag set (created with the input, freed with it). Decoders fill them from
// the files they open; the input adds nothing else to TAuFileIn. The tag
// sets are read and written on the thread that opens the file.

#include <memory>

#include "audio/core/TAuFileIn.h"
#include "audio/tags/TAPEv2Tags.h"
#include "audio/tags/TId3v1Tags.h"
#include "audio/tags/TId3v2Tags.h"

class TAuTaggedFileIn : public TAuFileIn {
 public:
  explicit TAuTaggedFileIn(TComponent* AOwner = nullptr);
  ~TAuTaggedFileIn() override;

  TId3v1Tags& Id3v1Tags() { return *FId3v1Tags; }
  TId3v2Tags& Id3v2Tags() { return *FId3v2Tags; }
  TAPEv2Tags& APEv2Tags() { return *FAPEv2Tags; }

 private:
  std::unique_ptr<TId3v1Tags> FId3v1Tags;
  std::unique_ptr<TId3v2Tags> FId3v2Tags;
  std::unique_ptr<TAPEv2Tags> FAPEv2Tags;
};
