/* ostrand host script */
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
