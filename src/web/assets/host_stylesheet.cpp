// The host stylesheet, served as /static/ostrand.css. The component's own
// stylesheet (written by SetDispStyle) styles its furniture classes; this one
// styles the classes its views write but leave to the host (the tabs, the
// day cells and the kinds of place) and the chrome the host puts around the
// fragments (navigation bar, sign-in, day editor, legends, error pages).
#include <string_view>

#include "web/assets/static_assets.h"

namespace ostrand::web {
namespace {

// The four kinds of place keep one colour each everywhere: the day cells of
// the month grid and the leader summaries (sch1..sch4), the entries of the
// week view (spans sch1..sch4), the compact cells (Office, Beijing, Outside,
// Aboad) and the legends. Background and edge differ in hue, not only in
// lightness, so they stay apart for most colour-blind readers as well. Each
// edge colour, used for the markers' text, has a contrast of at least
// 4.5:1 on its own background and on white.
constexpr std::string_view kStylesheet = R"css(/* ostrand host stylesheet */
:root {
  --ink: #1f2933;
  --muted: #5f6b7a;
  --line: #c9d1dc;
  --brand: #2d4f86;
  --brand-light: #dfe7f3;
  --tab: #4a6898;
  --outside-month: #eceff3;
  --office: #d3ecc8;        --office-edge: #2f6b22;
  --beijing: #cde0fb;       --beijing-edge: #1f55a6;
  --outside: #fde0a6;       --outside-edge: #805000;
  --abroad: #f6c6d5;        --abroad-edge: #9b2449;
  --focus: #b45309;
  --error: #b42318;
  --error-light: #fdecea;
}

html { background: #fff; }
body {
  margin: 0;
  color: var(--ink);
  background: #fff;
  font-family: "Noto Sans CJK SC", "Source Han Sans SC", "PingFang SC", "Microsoft YaHei",
    "WenQuanYi Micro Hei", "Helvetica Neue", Arial, sans-serif;
  font-size: 14px;
  line-height: 1.45;
}
main { display: block; padding: 12px 16px 24px; }
a { color: var(--brand); }
h1 { font-size: 20px; margin: 4px 0; }
h2 { font-size: 16px; margin: 18px 0 6px; }
button, input, select { font: inherit; }
button {
  padding: 3px 12px;
  border: 1px solid var(--brand);
  border-radius: 4px;
  background: var(--brand);
  color: #fff;
  cursor: pointer;
}
button:hover { filter: brightness(1.12); }
input[type=text], input[type=password], input[type=datetime-local], select {
  padding: 3px 6px;
  border: 1px solid var(--line);
  border-radius: 4px;
  background: #fff;
}

/* Navigation bar: who is signed in, their pages, sign-out. */
nav.site-nav {
  display: flex;
  flex-wrap: wrap;
  align-items: center;
  gap: 4px 18px;
  padding: 8px 16px;
  background: var(--brand);
  color: #fff;
}
nav.site-nav .who { font-weight: bold; }
nav.site-nav a { color: #fff; text-decoration: none; }
nav.site-nav a:hover { text-decoration: underline; }
nav.site-nav form.signout { margin: 0 0 0 auto; }
nav.site-nav form.signout button { background: transparent; border-color: #fff; }

/* Page heading with the person picker. */
div.page-head {
  display: flex;
  flex-wrap: wrap;
  align-items: center;
  gap: 6px 24px;
  margin-bottom: 10px;
}
form.person-picker { display: flex; align-items: center; gap: 8px; margin: 0; }

/* View tabs (DispSwitch): the current tab, the link to the other view, and
   the separator images whose cells take the colour of the tab on their left.
   The tab bar's stretching last cell stays white like the separators' outer
   corner. */
.schh { background: var(--tab); color: #fff; font-weight: bold; }
th.schh, th.td2 { padding: 0 0 0 10px; height: 22px; font-weight: normal; white-space: nowrap; }
th.schh img, th.td2 img { display: block; }
.td2 { background: var(--brand-light); }
th.td2 a { color: var(--ink); text-decoration: none; }
th.td2 a:hover { text-decoration: underline; }
th.schh + th.schh, th.td2 + th.td2 { padding: 0; width: 22px; }

/* Month and week pickers. */
div.picker { margin: 10px 0; text-align: center; font-size: 16px; white-space: nowrap; }
div.picker a { text-decoration: none; }
div.picker img { vertical-align: middle; border: 0; }

/* Day cells of the personal month grid and the leader summaries. */
td.sch, td.sch0, td.sch1, td.sch2, td.sch3, td.sch4, td.td1 {
  border: 1px solid var(--line);
  vertical-align: top;
  padding: 3px 5px;
}
/* Seven equal columns in the month grid, whatever the days hold. */
td.sch, td.sch0, td.sch1, td.sch2, td.sch3, td.sch4 { width: 14.28%; }
td.sch, td.td1 { background: #fff; }
td.sch0 { background: var(--outside-month); color: var(--muted); }
td[onclick] { cursor: pointer; }
td[onclick]:hover { outline: 2px solid var(--brand); outline-offset: -2px; }
tr.schh th { padding: 4px 2px; border: 1px solid var(--line); background: var(--tab); }

/* The four kinds of place. */
.sch1, .Office { background: var(--office); }
.sch2, .Beijing { background: var(--beijing); }
.sch3, .Outside { background: var(--outside); }
.sch4, .Aboad { background: var(--abroad); }
td.sch1 { box-shadow: inset 4px 0 0 var(--office-edge); }
td.sch2 { box-shadow: inset 4px 0 0 var(--beijing-edge); }
td.sch3 { box-shadow: inset 4px 0 0 var(--outside-edge); }
td.sch4 { box-shadow: inset 4px 0 0 var(--abroad-edge); }

/* Entries of the week view and the compact cells: coloured labels. */
span.sch1, span.sch2, span.sch3, span.sch4,
span.Office, span.Beijing, span.Outside, span.Aboad {
  display: inline-block;
  box-sizing: border-box;
  margin: 1px 0;
  padding: 1px 6px;
  border-radius: 3px;
}
span.sch1, span.Office { border-left: 4px solid var(--office-edge); }
span.sch2, span.Beijing { border-left: 4px solid var(--beijing-edge); }
span.sch3, span.Outside { border-left: 4px solid var(--outside-edge); }
span.sch4, span.Aboad { border-left: 4px solid var(--abroad-edge); }
td.schh { padding: 4px 10px; vertical-align: middle; border-bottom: 1px solid #fff; }

/* Leader summaries: the wide tables scroll sideways on a narrow screen, and
   the name column stays in view while they do. */
/* Relative, so that the screen readers' text in its cells scrolls with it. */
.wide { position: relative; overflow-x: auto; -webkit-overflow-scrolling: touch; }
/* Separate borders: collapsed ones would scroll past the sticky column. */
.wide table {
  min-width: 60em;
  border-collapse: separate;
  border-spacing: 0;
  border: solid var(--line);
  border-width: 1px 0 0 1px;
}
.wide th, .wide td { border: solid var(--line); border-width: 0 1px 1px 0; }
.wide th { text-align: center; }
.wide td { width: auto; padding: 3px 5px; vertical-align: top; }
/* Month cells carry their plans in a tooltip and show a centred marker. */
.wide td[title] {
  padding: 2px 1px;
  text-align: center;
  vertical-align: middle;
  font-size: 16px;
  cursor: default;
}
.wide td.td2, .wide tr.schh th:first-child {
  position: sticky;
  left: 0;
  z-index: 1;
  text-align: left;
  padding: 2px 8px;
  white-space: nowrap;
}
.wide td[title].sch1 { color: var(--office-edge); }
.wide td[title].sch2 { color: var(--beijing-edge); }
.wide td[title].sch3 { color: var(--outside-edge); }
.wide td[title].sch4 { color: var(--abroad-edge); }
.wide td[title] { box-shadow: none; }

/* Legends of the kinds of place and of the leader markers. */
ul.legend {
  display: flex;
  flex-wrap: wrap;
  gap: 6px 20px;
  margin: 12px 0;
  padding: 0;
  list-style: none;
  color: var(--muted);
}
ul.legend li { display: flex; align-items: center; gap: 6px; }
ul.legend .swatch {
  display: inline-block;
  width: 1.4em;
  height: 1.1em;
  border: 1px solid var(--line);
  border-radius: 3px;
}
ul.legend .marker {
  display: inline-block;
  min-width: 1.6em;
  text-align: center;
  border-radius: 3px;
}
ul.legend .marker.sch1 { color: var(--office-edge); }
ul.legend .marker.sch2 { color: var(--beijing-edge); }
ul.legend .marker.sch3 { color: var(--outside-edge); }
ul.legend .marker.sch4 { color: var(--abroad-edge); }

/* Sign-in. */
div.signin {
  max-width: 22em;
  margin: 48px auto;
  padding: 20px 24px;
  border: 1px solid var(--line);
  border-radius: 8px;
  box-shadow: 0 2px 10px rgba(31, 41, 51, 0.08);
}
div.signin h1 { margin-bottom: 12px; color: var(--brand); }
div.signin form { display: grid; gap: 12px; }
div.signin label { display: grid; gap: 4px; color: var(--muted); }

/* Messages. */
p.error, ul.error {
  margin: 8px 0;
  padding: 8px 12px;
  border: 1px solid var(--error);
  border-radius: 4px;
  background: var(--error-light);
  color: var(--error);
}
ul.error { padding-left: 2em; }
p.empty { color: var(--muted); }
div.error-page { max-width: 40em; margin: 32px auto; }

/* Day editor. */
p.day-nav { display: flex; gap: 16px; margin: 0; }
table.day-plans { border-collapse: collapse; width: 100%; }
table.day-plans th, table.day-plans td {
  border: 1px solid var(--line);
  padding: 4px 8px;
  text-align: left;
  vertical-align: top;
}
table.day-plans th { background: var(--brand-light); }
td.actions { white-space: nowrap; }
td.actions form { display: inline; margin: 0 0 0 8px; }
td.actions button {
  padding: 1px 8px;
  border-color: var(--error);
  background: #fff;
  color: var(--error);
}
form.editor {
  display: grid;
  grid-template-columns: repeat(auto-fill, minmax(16em, 1fr));
  gap: 10px 18px;
  align-items: end;
  max-width: 60em;
}
form.editor label { display: grid; gap: 4px; color: var(--muted); }
form.editor fieldset.flag {
  display: flex;
  gap: 16px;
  margin: 0;
  border: 1px solid var(--line);
  border-radius: 4px;
}
form.editor fieldset.flag label { display: inline-flex; gap: 4px; color: var(--ink); }
form.editor button { justify-self: start; }

/* Keyboard and screen readers: the skip link shows when it has the focus,
   every focusable element shows a ring, text for screen readers only. */
a.skip {
  position: absolute;
  left: 8px;
  top: -40px;
  z-index: 10;
  padding: 6px 12px;
  background: #fff;
  color: var(--brand);
  border: 2px solid var(--focus);
}
a.skip:focus { top: 8px; }
:focus-visible { outline: 3px solid var(--focus); outline-offset: 2px; }
td:focus-visible, .wide:focus-visible { outline-offset: -3px; }
nav.site-nav :focus-visible { outline-color: #fff; }
.sr-only {
  position: absolute;
  width: 1px;
  height: 1px;
  margin: -1px;
  padding: 0;
  overflow: hidden;
  clip: rect(0 0 0 0);
  white-space: nowrap;
  border: 0;
}

/* The header: navigation and the language switch. */
header.site-head { display: flex; flex-wrap: wrap; align-items: center; background: var(--brand); }
header.site-head nav.site-nav { flex: 1 1 auto; }
p.lang-switch { margin: 0 0 0 auto; padding: 8px 16px; }
p.lang-switch a { color: #fff; }
h1.page-title { font-size: 18px; }

/* Long words and addresses wrap wherever they must, in every cell, label
   and message, instead of widening the page. */
main td, main th, main li, main p, main label, main h1, main span { overflow-wrap: anywhere; }
main input[type=text] { max-width: 100%; box-sizing: border-box; }

/* Today, weekends and holidays (pages/day_marks.h): weekends and days off
   shaded, working weekend days outlined, today ringed; a holiday's name as a
   small label. */
td.weekend, th.weekend { background-image: linear-gradient(rgba(95, 107, 122, 0.13), rgba(95, 107, 122, 0.13)); }
td.day-off, th.day-off { background-image: linear-gradient(rgba(189, 53, 99, 0.12), rgba(189, 53, 99, 0.12)); }
.workday { outline: 2px dashed var(--outside-edge); outline-offset: -3px; }
.today { outline: 3px solid var(--brand); outline-offset: -3px; }
span.day-label {
  display: inline-block;
  margin: 0 4px 2px 0;
  padding: 0 4px;
  border-radius: 3px;
  background: #fff;
  color: #9b1c47;
  font-size: 12px;
  line-height: 1.5;
}
.workday span.day-label, li.workday { color: #7a4d00; }
ul.day-notes { margin: 10px 0; padding-left: 1.2em; color: var(--muted); }
ul.day-notes li.day-off { color: #9b1c47; }

/* The leader summary over several months: one scrolling table, the name
   column fixed, each month's first day ruled. */
table.months th, table.months td { min-width: 1.6em; font-size: 13px; }
table.months th.name {
  position: sticky;
  left: 0;
  z-index: 2;
  background: #fff;
  text-align: left;
  white-space: nowrap;
  padding: 2px 8px;
}
table.months .month-start { border-left: 2px solid var(--brand); }
nav.month-spans { margin: 8px 0; }
nav.month-spans a { margin-left: 6px; }
nav.month-spans a[aria-current] { font-weight: bold; text-decoration: none; color: var(--ink); }

/* Who is away. */
section.away h3 { margin: 12px 0 4px; padding-left: 8px; font-size: 15px; }
section.away h3.sch2 { border-left: 4px solid var(--beijing-edge); }
section.away h3.sch3 { border-left: 4px solid var(--outside-edge); }
section.away h3.sch4 { border-left: 4px solid var(--abroad-edge); }
ul.away-list { margin: 0; padding-left: 1.4em; }
ul.away-list .place, ul.away-list .days, ul.away-list .private { color: var(--muted); }

/* The day editor's notices, confirmation and overlaps. */
div.notice, div.confirm {
  margin: 10px 0;
  padding: 8px 12px;
  border: 1px solid var(--line);
  border-left: 4px solid var(--office-edge);
  border-radius: 4px;
}
div.notice p { margin: 4px 0; }
div.notice form { display: inline; }
div.notice p.warning, div.confirm { border-left-color: var(--outside-edge); color: #7a4d00; }
tr.overlapping td { background: #fff6e0; }
span.overlap {
  margin-left: 4px;
  padding: 0 4px;
  border-radius: 3px;
  background: var(--outside);
  font-size: 12px;
}
form.copy fieldset.weekdays { display: flex; flex-wrap: wrap; gap: 4px 12px; border: 1px solid var(--line); }

/* The subscribe page and the download links. */
div.subscribe { max-width: 60em; }
dl.feed-urls { display: grid; grid-template-columns: max-content 1fr; gap: 4px 12px; align-items: center; }
dl.feed-urls dd { margin: 0; overflow-wrap: anywhere; }
input.feed-url { width: 100%; box-sizing: border-box; font-family: monospace; }
p.new-token code { overflow-wrap: anywhere; font-size: 1.1em; }
p.downloads { display: flex; gap: 16px; }

@media (max-width: 640px) {
  main { padding: 8px; }
  nav.site-nav { padding: 6px 8px; gap: 4px 12px; }
  td.sch, td.sch0, td.sch1, td.sch2, td.sch3, td.sch4 { padding: 2px; font-size: 12px; }
  /* The weekday headings of the month may break between characters. */
  tr.schh th { white-space: normal; }
  table.day-plans th, table.day-plans td { padding: 2px 3px; }
  td.actions { white-space: normal; }
  td.actions form { margin: 0; }
  div.picker { white-space: normal; }
}

/* Print: the schedule alone, a month on one A4 landscape page. */
@page { size: A4 landscape; margin: 10mm; }
@media print {
  a.skip, header.site-head, form.person-picker, form.signout, div.picker img,
  p.day-nav, td.actions { display: none; }
  body { font-size: 9pt; }
  main { padding: 0; }
  div.picker { margin: 0 0 4px; font-size: 11pt; }
  table { height: auto; }
  /* The view tabs are for the screen; the month's columns keep their
     share of the page whatever the days hold. */
  table:has(th.td2) { display: none; }
  table:has(td.sch0, td.sch, td.sch1, td.sch2, td.sch3, td.sch4) { table-layout: fixed; }
  tr { break-inside: avoid; }
  td.sch, td.sch0, td.sch1, td.sch2, td.sch3, td.sch4 { padding: 1px 3px; font-size: 8pt; }
  /* A day shows at most six lines of plans, so that any month fits. */
  td.sch > span, td.sch1 > span, td.sch2 > span, td.sch3 > span, td.sch4 > span {
    display: block;
    max-height: 6lh;
    overflow: hidden;
    font-size: 7.5pt !important;
  }
  td.sch1, td.sch2, td.sch3, td.sch4, span.sch1, span.sch2, span.sch3, span.sch4, ul.legend .swatch {
    print-color-adjust: exact;
    -webkit-print-color-adjust: exact;
  }
  .wide { overflow: visible; }
  .wide table { min-width: 0; }
  ul.legend { margin: 4px 0 0; }
}
)css";

}  // namespace

std::string_view HostStylesheet() { return kStylesheet; }

}  // namespace ostrand::web
