// The late-binding table of Schedulers: every member a host can call by
// name or by dispatch id, with its parameters and result, in the order of
// the class's interface. Names are looked up without regard to ASCII case.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "component/schedulers.h"
#include "core/value.h"

namespace ostrand {

using DispId = std::uint32_t;

// How a row is invoked: a method, or the read or write of a property.
enum class InvokeKind { kMethod, kPropertyGet, kPropertyPut };

// What a row returns: nothing, a variant, or text (the property read).
enum class ResultKind { kNone, kVariant, kText };

struct Parameter {
  std::string_view name;
  bool by_ref;  // false: by value (the member works on its own copy)
};

struct Member {
  std::string_view name;
  DispId dispid;
  InvokeKind invoke;
  std::span<const Parameter> parameters;
  ResultKind result;
  // Calls the member on `object` with exactly parameters.size() arguments.
  Value (*call)(Schedulers& object, std::span<const Value> args);
};

// All 30 rows in interface order.
std::span<const Member> Members();

// The row of that name and invoke kind, or null.
const Member* FindMember(std::string_view name, InvokeKind invoke = InvokeKind::kMethod);
// The row of that dispatch id and invoke kind, or null.
const Member* FindMember(DispId dispid, InvokeKind invoke = InvokeKind::kMethod);

// Calls a member by name. A property name with no argument reads it, with
// one argument writes it. Throws Error for an unknown name ("unknown member
// 'X'") or a wrong number of arguments; the member's own errors pass through.
Value InvokeByName(Schedulers& object, std::string_view name, std::span<const Value> args);
// Calls a member by dispatch id and invoke kind; errors as InvokeByName.
Value InvokeById(Schedulers& object, DispId dispid, InvokeKind invoke,
                 std::span<const Value> args);

// The programmatic name of the class: its library name, a point, the class
// name. Hosts create instances by it; it is looked up without regard to case.
inline constexpr std::string_view kProgrammaticName = "ostrandSchedulerS.Schedulers";

// Creates an instance by its programmatic name (kProgrammaticName, any
// case). Throws Error naming an unknown class. The clock is handed to the
// instance (null: the system clock).
std::unique_ptr<Schedulers> CreateObject(std::string_view programmatic_name,
                                         std::shared_ptr<const host::Clock> clock = nullptr);

}  // namespace ostrand
