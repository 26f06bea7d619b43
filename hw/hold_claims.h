// HoldClaims: the claims a DSP receiver makes on the features of its time slot, when another
// receiver may work on the same time slot and hold some of them. `Hold` names the features a
// receiver can hold; the receiver answers whether another receiver of its time slot holds one
// (held_elsewhere). A claim on a feature held elsewhere is refused and its name kept, so that
// the receiver's owner can tell why the request failed (take_refused_claim).
#pragma once

namespace Hardware {

template <class Hold>
class HoldClaims {
 public:
  HoldClaims() = default;
  virtual ~HoldClaims() = default;
  HoldClaims(const HoldClaims&) = delete;
  HoldClaims& operator=(const HoldClaims&) = delete;

  // The name of the claim last refused because another receiver of the time slot holds what it
  // asked for, and forgets it; null when there was none.
  const char* take_refused_claim() {
    const char* refused = refused_claim_;
    refused_claim_ = nullptr;
    return refused;
  }

 protected:
  // Whether another receiver of this time slot holds `what`.
  virtual bool held_elsewhere(Hold what) const = 0;

  // False, the claim on `name` kept as refused, when another receiver holds `what`.
  bool may_claim(Hold what, const char* name) {
    if (!held_elsewhere(what)) return true;
    refused_claim_ = name;
    return false;
  }

 private:
  const char* refused_claim_ = nullptr;
};

}  // namespace Hardware
