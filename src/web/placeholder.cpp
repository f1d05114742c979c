// The web host arrives here; this unit keeps the library non-empty until then.
namespace ostrand::web {
int web_host_placeholder = 0;
}  // namespace ostrand::web
