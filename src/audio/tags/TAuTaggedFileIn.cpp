#include "audio/tags/TAuTaggedFileIn.h"

TAuTaggedFileIn::TAuTaggedFileIn(TComponent* AOwner)
    : TAuFileIn(AOwner),
      FId3v1Tags(std::make_unique<TId3v1Tags>()),
      FId3v2Tags(std::make_unique<TId3v2Tags>()),
      FAPEv2Tags(std::make_unique<TAPEv2Tags>()) {}

TAuTaggedFileIn::~TAuTaggedFileIn() = default;
