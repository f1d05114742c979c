/* ostrand: marks today, weekends and holidays */
(function () {
  'use strict';
  var marks = document.getElementById('day-marks');
  if (!marks) return;
  var days = {};
  try {
    days = JSON.parse(marks.getAttribute('data-days') || '{}');
  } catch (e) {
    return;
  }
  var today = marks.getAttribute('data-today');

  // "2026-12-5", "2026/12/05 9:00:00" -> "2026-12-05".
  function isoDate(text) {
    var m = /^\s*(\d{1,4})[-\/](\d{1,2})[-\/](\d{1,2})/.exec(text || '');
    if (!m) return null;
    return ('000' + m[1]).slice(-4) + '-' + ('0' + m[2]).slice(-2) + '-' + ('0' + m[3]).slice(-2);
  }
  function addDays(iso, n) {
    var p = iso.split('-');
    var d = new Date(Date.UTC(+p[0], +p[1] - 1, +p[2] + n));
    d.setUTCFullYear(+p[0], +p[1] - 1, +p[2] + n);
    return ('000' + d.getUTCFullYear()).slice(-4) + '-' + ('0' + (d.getUTCMonth() + 1)).slice(-2) +
      '-' + ('0' + d.getUTCDate()).slice(-2);
  }
  // label: 'name' (the holiday's name), 'tag' (休 or 班) or none.
  function mark(cell, date, label) {
    if (date === today) {
      cell.classList.add('today');
      cell.setAttribute('aria-current', 'date');
    }
    var day = days[date];
    if (!day) return;
    cell.classList.add(day[0]);
    if (day.length < 4) return;
    if (label) {
      var span = document.createElement('span');
      span.className = 'day-label';
      span.textContent = label === 'tag' ? day[3] : day[1];
      cell.insertBefore(span, cell.firstChild);
    }
    if (!cell.getAttribute('title')) cell.setAttribute('title', day[2]);
  }

  // The personal month and week: the cells that open the day editor.
  var cells = document.querySelectorAll('td[onclick]');
  for (var i = 0; i < cells.length; i++) {
    var found = /manage\('([^']*)'\)/.exec(cells[i].getAttribute('onclick'));
    var date = found && isoDate(found[1]);
    if (!date) continue;
    if (cells[i].classList.contains('td1')) {
      // A week row: the caption cell takes the label.
      mark(cells[i], date, null);
      mark(cells[i].parentNode.cells[0], date, 'name');
    } else {
      mark(cells[i], date, 'name');
    }
  }

  // The leader summaries: day columns after the name, from a known date.
  var from = marks.getAttribute('data-columns-from');
  var table = document.querySelector('div.wide table');
  if (!from || !table) return;
  for (var r = 0; r < table.rows.length; r++) {
    var row = table.rows[r];
    var heading = row.classList.contains('schh');
    for (var k = 1; k < row.cells.length; k++) {
      mark(row.cells[k], addDays(from, k - 1), heading ? 'tag' : null);
    }
  }
})();
