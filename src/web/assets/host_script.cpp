// The host script, served as /static/ostrand.js and loaded (deferred) by
// every page. It leaves the component's markup as it was written and only
// adds what keyboards and screen readers need, at run time:
// - the picker arrows get their text alternative from the picker's
//   data-jian1..4 attributes (the page writes them in its language); other
//   images of the fragments are marked as decoration (alt="");
// - a marker of a leader summary gets the kind of place it stands for, read
//   from the page's legend, as text for screen readers;
// - where the page says its days may be edited (data-edit-days), each day
//   cell that opens the editor is reached with Tab and opened with Enter or
//   Space.
#include <string_view>

#include "web/assets/static_assets.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kScript = R"js(/* ostrand host script */
(function () {
  'use strict';
  var each = function (selector, action) {
    Array.prototype.forEach.call(document.querySelectorAll(selector), action);
  };
  each('div.picker img', function (img) {
    var arrow = /jian([1-4])\.gif$/.exec(img.getAttribute('src') || '');
    var picker = img.closest('div.picker');
    img.setAttribute('alt', (arrow && picker.getAttribute('data-jian' + arrow[1])) || '');
  });
  each('img:not([alt])', function (img) { img.setAttribute('alt', ''); });

  var kinds = {};
  each('ul.legend li', function (item) {
    var marker = item.querySelector('.marker');
    if (marker) kinds[marker.textContent.trim()] = item.textContent.replace(marker.textContent, '').trim();
  });
  each('.wide td[title]', function (cell) {
    var kind = kinds[cell.textContent.trim()];
    if (!kind) return;
    var words = document.createElement('span');
    words.className = 'sr-only';
    words.textContent = kind;
    cell.appendChild(words);
  });

  if (!document.querySelector('[data-edit-days]')) return;
  each('td[onclick^="manage("]', function (cell) {
    cell.tabIndex = 0;
    cell.addEventListener('keydown', function (event) {
      if (event.key !== 'Enter' && event.key !== ' ') return;
      event.preventDefault();
      cell.click();
    });
  });
})();
)js";

}  // namespace

std::string_view HostScript() { return kScript; }

}  // namespace ostrand::web
