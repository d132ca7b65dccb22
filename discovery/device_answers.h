// What a device's answers mean: the lights-out kind, the product kind and
// the lights-out address, read from the answer of an Exchange.
#pragma once
#include <string>
#include <string_view>

#include "exchange.h"
#include "identify.h"

namespace orxdetect {

// QueryLightsOutKind's answer.
KindAnswer kind_answer(const Exchange& exchange);

// QueryProductKind's answer.
ProductAnswer product_answer(const Exchange& exchange);

// QueryLightsOutAddress's answer; its session is ended here (the end's
// failure is part of the answer).
LightsOutAddress address_answer(Exchange& exchange);

// The answer of a question as it came, in a plan's words ("integer 3",
// "error status 2 (noSuchName)", "no answer"; platform/preview.h).
std::string answer_as_received(const Exchange& exchange);

// The product kind of an answer text: the comparison is a case-sensitive
// prefix test, each against its product text less the last character.
ProductKind product_kind_of(std::string_view text);

}  // namespace orxdetect
