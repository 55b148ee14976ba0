#include "gallery/gallery_page.h"

#include <algorithm>
#include <cstdio>

#include "gallery/html_text.h"

namespace {

const char kHead[] = R"kg(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="kelvora-gallery">
)kg";

const char kStyle[] = R"kg(<style>
:root { color-scheme: dark; --bg: #16181c; --card: #22252b; --line: #3a3f47; --text: #e4e6ea;
  --dim: #9aa1ab; --keep: #3fb950; --reject: #f85149; --unsure: #d29922; --focus: #58a6ff; }
* { box-sizing: border-box; }
body { margin: 0; background: var(--bg); color: var(--text);
  font: 14px/1.4 system-ui, -apple-system, "Segoe UI", Roboto, "DejaVu Sans", sans-serif; }
header { padding: 12px 16px 8px; border-bottom: 1px solid var(--line); }
h1 { font-size: 18px; margin: 0 0 4px; }
h1 .source { font-weight: normal; color: var(--dim); overflow-wrap: anywhere; }
.summary, .keys { margin: 2px 0; color: var(--dim); }
.summary .bad { color: var(--reject); }
.tools { display: flex; flex-wrap: wrap; gap: 8px; align-items: center; margin-top: 6px; }
.tools #counts { margin-right: auto; }
button, select { font: inherit; color: var(--text); background: #2d3139; border: 1px solid var(--line);
  border-radius: 4px; padding: 2px 8px; cursor: pointer; }
button:hover { border-color: var(--dim); }
button:focus-visible, select:focus-visible { outline: 2px solid var(--focus); outline-offset: 1px; }
kbd { font: 12px ui-monospace, monospace; border: 1px solid var(--line); border-radius: 3px; padding: 0 3px; }
#grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(230px, 1fr)); gap: 10px; padding: 12px 16px; }
figure.entry { margin: 0; background: var(--card); border: 2px solid var(--line); border-radius: 6px; padding: 6px; min-width: 0; }
figure.entry.current { border-color: var(--focus); box-shadow: 0 0 0 2px var(--focus); }
figure.entry.rated-keep { border-color: var(--keep); }
figure.entry.rated-reject { border-color: var(--reject); }
figure.entry.rated-unsure { border-color: var(--unsure); }
figure.entry.current.rated-keep, figure.entry.current.rated-reject, figure.entry.current.rated-unsure { box-shadow: 0 0 0 2px var(--focus); }
.thumb { display: flex; align-items: center; justify-content: center; width: 100%; height: 208px;
  padding: 0; background: #000; border: 0; border-radius: 3px; overflow: hidden; }
.thumb img { display: block; max-width: 100%; max-height: 100%; object-fit: contain; }
.thumb img.enlarged, #stage img { image-rendering: crisp-edges; image-rendering: pixelated; }
#stage img { display: block; }
.placeholder { display: flex; flex-direction: column; align-items: center; justify-content: center; gap: 4px;
  padding: 8px; color: var(--reject); text-align: center; overflow-wrap: anywhere; }
.placeholder code { color: var(--dim); font-size: 12px; }
figcaption { margin-top: 6px; font-size: 13px; }
figcaption .image { overflow-wrap: anywhere; }
figcaption .pos, figcaption .code { color: var(--dim); overflow-wrap: anywhere; }
figcaption .num { color: var(--text); }
.rate { display: inline-flex; gap: 4px; margin-top: 4px; }
.rate button[aria-pressed="true"][data-rate="keep"] { background: var(--keep); color: #000; }
.rate button[aria-pressed="true"][data-rate="reject"] { background: var(--reject); color: #000; }
.rate button[aria-pressed="true"][data-rate="unsure"] { background: var(--unsure); color: #000; }
#detail { position: fixed; inset: 0; background: #0a0b0d; display: flex; flex-direction: column; z-index: 10; }
#detail[hidden] { display: none; }
#detail .bar { display: flex; flex-wrap: wrap; gap: 8px 14px; align-items: center; padding: 8px 12px; border-bottom: 1px solid var(--line); }
#detail-title { margin-right: auto; overflow-wrap: anywhere; }
#stage-scroll { flex: 1; overflow: auto; display: flex; }
#stage { position: relative; margin: auto; flex: none; }
#stage .label { position: absolute; padding: 1px 5px; font-size: 12px; background: rgba(0, 0, 0, 0.7);
  color: #ffd866; border: 1px solid #ffd866; pointer-events: none; }
#stage .tl { left: 0; top: 0; } #stage .tr { right: 0; top: 0; } #stage .bl { left: 0; bottom: 0; }
#detail-missing { margin: auto; }
#detail .legend { margin: 0; padding: 6px 12px 10px; color: var(--dim); font-size: 12px; border-top: 1px solid var(--line); }
#export-panel { padding: 0 16px 16px; }
#export-panel textarea { width: 100%; height: 160px; background: #0d0f12; color: var(--text); border: 1px solid var(--line);
  font: 12px ui-monospace, monospace; }
.note { color: var(--unsure); }
</style>
)kg";

const char kBodyStart[] = R"kg(<noscript><p class="note">Rating, the detail view and the exports need JavaScript; the pictures are listed below.</p></noscript>
<p class="note" id="storage-note" hidden>This browser does not keep ratings for this page (localStorage is unavailable): export them before closing it.</p>
<div class="tools">
<span id="counts"></span>
<label>Show <select id="filter">
<option value="all">all</option><option value="unrated">unrated</option><option value="keep">keep</option>
<option value="reject">reject</option><option value="unsure">unsure</option><option value="problem">missing or broken</option>
</select></label>
<button type="button" id="export-csv">Export CSV</button>
<button type="button" id="export-tsv">Export command file</button>
</div>
<p class="keys"><kbd>&larr;</kbd> <kbd>&rarr;</kbd> previous / next &middot; <kbd>Enter</kbd> open &middot; <kbd>Esc</kbd> close &middot;
<kbd>+</kbd> <kbd>&minus;</kbd> zoom &middot; <kbd>k</kbd> keep &middot; <kbd>r</kbd> reject &middot; <kbd>u</kbd> unsure &middot; <kbd>0</kbd> clear
(or <kbd>1</kbd> <kbd>2</kbd> <kbd>3</kbd>); clicking a rating button again clears it.</p>
</header>
<main id="grid">
)kg";

const char kRateButtons[] =
    R"kg(<span class="rate" role="group" aria-label="rating"><button type="button" data-rate="keep" aria-pressed="false">keep</button><button type="button" data-rate="reject" aria-pressed="false">reject</button><button type="button" data-rate="unsure" aria-pressed="false">unsure</button></span>)kg";

const char kDetail[] = R"kg(</main>
<section id="export-panel" hidden>
<p><label for="export-text" id="export-label">Export</label></p>
<textarea id="export-text" readonly></textarea>
</section>
<div id="detail" hidden role="dialog" aria-modal="true" aria-labelledby="detail-title">
<div class="bar">
<span id="detail-title"></span>
<span class="rate" role="group" aria-label="rating"><button type="button" data-rate="keep" aria-pressed="false">keep</button><button type="button" data-rate="reject" aria-pressed="false">reject</button><button type="button" data-rate="unsure" aria-pressed="false">unsure</button></span>
<span><button type="button" id="zoom-out" aria-label="zoom out">&minus;</button> <span id="zoom-level"></span> <button type="button" id="zoom-in" aria-label="zoom in">+</button></span>
<span><button type="button" id="detail-prev" aria-label="previous">&larr;</button> <button type="button" id="detail-next" aria-label="next">&rarr;</button> <button type="button" id="detail-close">close</button></span>
</div>
<div id="stage-scroll">
<div id="stage"><img id="detail-img" alt=""><span class="label tl">ZY</span><span class="label tr">ZX</span><span class="label bl">XY turned</span></div>
<div id="detail-missing" class="placeholder" hidden></div>
</div>
<p class="legend">Each label marks the corner its panel starts from: ZY at top left (slice through the feature's x; z down, y right),
ZX at top right (through its y; z down, x right), XY at bottom left, turned a quarter (through its z; y right, x up).
Where one panel ends and the next begins depends on the volume's size, which the gallery does not read; the bottom-right block is empty.
The picture is shown at a whole-number zoom without smoothing.</p>
</div>
)kg";

const char kScript[] = R"kg(<script>
(function () {
  'use strict';
  var items = JSON.parse(document.getElementById('gallery-data').textContent);
  var RATINGS = ['keep', 'reject', 'unsure'];
  var figures = Array.prototype.slice.call(document.querySelectorAll('#grid figure.entry'));
  var storageKey = 'kelvora-gallery:' + location.pathname;
  var ratings = {};
  var current = 0;
  var detailOpen = false;
  var zoom = 0;  // 0: the largest whole factor that fits
  var $ = function (id) { return document.getElementById(id); };

  function keyOf(it) { return [it.image, it.x, it.y, it.z, it.scale, it.code].join('\t'); }
  function ratingOf(i) { return ratings[keyOf(items[i])] || ''; }
  try {
    var stored = JSON.parse(localStorage.getItem(storageKey) || '{}');
    if (stored && typeof stored === 'object') ratings = stored;
  } catch (e) { $('storage-note').hidden = false; }
  function save() {
    try { localStorage.setItem(storageKey, JSON.stringify(ratings)); }
    catch (e) { $('storage-note').hidden = false; }
  }

  function showRating(group, rating) {
    var buttons = group.querySelectorAll('button[data-rate]');
    for (var b = 0; b < buttons.length; ++b) {
      buttons[b].setAttribute('aria-pressed', buttons[b].getAttribute('data-rate') === rating ? 'true' : 'false');
    }
  }
  function render(i) {
    var r = ratingOf(i);
    var f = figures[i];
    RATINGS.forEach(function (name) { f.classList.toggle('rated-' + name, r === name); });
    showRating(f.querySelector('.rate'), r);
    if (detailOpen && i === current) showRating(document.querySelector('#detail .rate'), r);
  }
  function renderCounts() {
    var n = { keep: 0, reject: 0, unsure: 0, '': 0 };
    for (var i = 0; i < items.length; ++i) n[ratingOf(i)] += 1;
    $('counts').textContent = 'keep ' + n.keep + ' \u00b7 reject ' + n.reject + ' \u00b7 unsure ' + n.unsure +
      ' \u00b7 unrated ' + n[''];
  }
  function setRating(i, rating, toggle) {
    var k = keyOf(items[i]);
    if (!rating || (toggle && ratings[k] === rating)) delete ratings[k]; else ratings[k] = rating;
    save();
    render(i);
    renderCounts();
    // In a filtered view a rated entry may drop out: go on to the next one shown.
    applyFilter(true);
  }

  function visible(i) {
    var f = $('filter').value;
    var r = ratingOf(i);
    if (f === 'all') return true;
    if (f === 'unrated') return r === '';
    if (f === 'problem') return items[i].state !== 'shown';
    return r === f;
  }
  function applyFilter(moveCurrent) {
    for (var i = 0; i < figures.length; ++i) figures[i].hidden = !visible(i);
    if (moveCurrent && figures[current] && figures[current].hidden && !step(1)) step(-1);
  }

  function setCurrent(i) {
    if (i < 0 || i >= items.length) return;
    if (figures[current]) figures[current].classList.remove('current');
    current = i;
    figures[current].classList.add('current');
    figures[current].scrollIntoView({ block: 'nearest' });
    if (detailOpen) showDetail();
  }
  function step(delta) {
    for (var i = current + delta; i >= 0 && i < items.length; i += delta) {
      if (!figures[i].hidden) { setCurrent(i); return true; }
    }
    return false;
  }
  function edge(last) {
    for (var k = 0; k < items.length; ++k) {
      var i = last ? items.length - 1 - k : k;
      if (!figures[i].hidden) { setCurrent(i); return; }
    }
  }

  function fitZoom(it) {
    var box = $('stage-scroll');
    var z = Math.floor(Math.min((box.clientWidth - 8) / it.w, (box.clientHeight - 8) / it.h));
    return Math.max(1, Math.min(z, 64));
  }
  function showDetail() {
    var it = items[current];
    var img = $('detail-img');
    $('detail-title').textContent = (current + 1) + ' / ' + items.length + ': ' + it.image + ' \u00b7 x ' + it.x +
      ' \u00b7 y ' + it.y + ' \u00b7 z ' + it.z + ' \u00b7 scale ' + it.scale + ' \u00b7 code ' + it.code;
    showRating(document.querySelector('#detail .rate'), ratingOf(current));
    if (it.state === 'shown') {
      var z = zoom || fitZoom(it);
      img.src = it.png;
      img.width = it.w * z;
      img.height = it.h * z;
      img.alt = it.picture;
      $('stage').hidden = false;
      $('detail-missing').hidden = true;
      $('zoom-level').textContent = '\u00d7' + z;
    } else {
      img.removeAttribute('src');
      $('stage').hidden = true;
      var m = $('detail-missing');
      m.hidden = false;
      m.textContent = '';
      var strong = document.createElement('strong');
      strong.textContent = it.state === 'missing' ? 'missing' : 'broken: ' + it.problem;
      var code = document.createElement('code');
      code.textContent = it.picture;
      m.appendChild(strong);
      m.appendChild(code);
      $('zoom-level').textContent = '';
    }
  }
  function openDetail() {
    if (!figures[current] || figures[current].hidden) return;
    detailOpen = true;
    $('detail').hidden = false;
    showDetail();
  }
  function closeDetail() {
    detailOpen = false;
    $('detail').hidden = true;
    $('detail-img').removeAttribute('src');
    figures[current].scrollIntoView({ block: 'nearest' });
  }
  function zoomBy(delta) {
    if (!detailOpen || items[current].state !== 'shown') return;
    var z = (zoom || fitZoom(items[current])) + delta;
    zoom = Math.max(1, Math.min(z, 64));
    showDetail();
  }

  function exportBase() {
    var name = decodeURIComponent(location.pathname.split('/').pop() || 'gallery.html');
    return name.replace(/\.html?$/i, '');
  }
  function csvField(s) { return /[",\r\n]/.test(s) ? '"' + s.replace(/"/g, '""') + '"' : s; }
  function exportText(kind) {
    var lines = [];
    if (kind === 'csv') {
      lines.push('image,x,y,z,scale,output_code,rating');
      items.forEach(function (it, i) {
        lines.push([it.image, it.x, it.y, it.z, it.scale, it.code, ratingOf(i)].map(csvField).join(','));
      });
    } else {
      lines.push('# kelvora command file from ' + exportBase() + '.html: image, x, y, z, scale, output code, rating;');
      lines.push('# kelvora reads the first six tab-separated fields and ignores the rating.');
      items.forEach(function (it, i) {
        var fields = [it.image, it.x, it.y, it.z, it.scale, it.code, ratingOf(i)];
        var unsafe = fields.some(function (s) { return /[\t\r\n]/.test(s); });
        lines.push((unsafe ? '# cannot be a command line (tab or line break in a field): ' : '') + fields.join('\t'));
      });
    }
    return lines.join('\n') + '\n';
  }
  function exportRatings(kind) {
    var text = exportText(kind);
    var name = exportBase() + (kind === 'csv' ? '.ratings.csv' : '.ratings.tsv');
    $('export-panel').hidden = false;
    $('export-label').textContent = name + ' (also downloaded):';
    $('export-text').value = text;
    var a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([text], { type: kind === 'csv' ? 'text/csv' : 'text/tab-separated-values' }));
    a.download = name;
    document.body.appendChild(a);
    a.click();
    setTimeout(function () { URL.revokeObjectURL(a.href); a.remove(); }, 10000);
  }

  figures.forEach(function (f, i) {
    f.querySelector('.thumb').addEventListener('click', function () { setCurrent(i); openDetail(); });
    f.querySelector('.rate').addEventListener('click', function (ev) {
      var r = ev.target.getAttribute('data-rate');
      if (r) { setCurrent(i); setRating(i, r, true); }
    });
    render(i);
  });
  document.querySelector('#detail .rate').addEventListener('click', function (ev) {
    var r = ev.target.getAttribute('data-rate');
    if (r) setRating(current, r, true);
  });
  $('zoom-in').addEventListener('click', function () { zoomBy(1); });
  $('zoom-out').addEventListener('click', function () { zoomBy(-1); });
  $('detail-prev').addEventListener('click', function () { step(-1); });
  $('detail-next').addEventListener('click', function () { step(1); });
  $('detail-close').addEventListener('click', closeDetail);
  $('export-csv').addEventListener('click', function () { exportRatings('csv'); });
  $('export-tsv').addEventListener('click', function () { exportRatings('tsv'); });
  $('filter').addEventListener('change', function () { applyFilter(true); });
  window.addEventListener('resize', function () { if (detailOpen) showDetail(); });

  document.addEventListener('keydown', function (ev) {
    if (ev.ctrlKey || ev.metaKey || ev.altKey || !items.length) return;
    var tag = ev.target && ev.target.tagName;
    if (tag === 'TEXTAREA' || tag === 'SELECT' || tag === 'INPUT') return;
    if ((ev.key === 'Enter' || ev.key === ' ') && tag === 'BUTTON') return;
    switch (ev.key) {
      case 'ArrowRight': case 'n': step(1); break;
      case 'ArrowLeft': case 'p': step(-1); break;
      case 'Home': edge(false); break;
      case 'End': edge(true); break;
      case 'Enter': openDetail(); break;
      case 'Escape': if (detailOpen) closeDetail(); else return; break;
      case '+': case '=': zoomBy(1); break;
      case '-': case '_': zoomBy(-1); break;
      case 'k': case '1': setRating(current, 'keep', false); break;
      case 'r': case '2': setRating(current, 'reject', false); break;
      case 'u': case '3': setRating(current, 'unsure', false); break;
      case '0': case 'Delete': setRating(current, '', false); break;
      default: return;
    }
    ev.preventDefault();
  });

  renderCounts();
  if (items.length) setCurrent(0);
  document.documentElement.setAttribute('data-ready', 'true');
})();
</script>
)kg";

const char* state_name(int state) {
  switch (state) {
    case kItemShown: return "shown";
    case kItemMissing: return "missing";
    case kItemBroken: return "broken";
    default: return "unconverted";
  }
}

void append_number(std::string* out, long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", value);
  out->append(text);
}

void append_item_data(const GalleryItem& item, std::string* out) {
  const GalleryEntry& e = *item.entry;
  out->append("{\"image\":");
  append_json_string(out, e.image_path);
  out->append(",\"x\":");
  append_json_string(out, format_feature_number(e.feature.x));
  out->append(",\"y\":");
  append_json_string(out, format_feature_number(e.feature.y));
  out->append(",\"z\":");
  append_json_string(out, format_feature_number(e.feature.z));
  out->append(",\"scale\":");
  append_json_string(out, format_feature_number(e.feature.scale));
  out->append(",\"code\":");
  append_json_string(out, e.output_code);
  out->append(",\"picture\":");
  append_json_string(out, e.picture_name);
  out->append(",\"state\":");
  append_json_string(out, state_name(item.state));
  out->append(",\"problem\":");
  append_json_string(out, item.problem);
  out->append(",\"png\":");
  append_json_string(out, item.state == kItemShown ? item.png_url : std::string());
  out->append(",\"w\":");
  append_number(out, item.width);
  out->append(",\"h\":");
  append_number(out, item.height);
  out->push_back('}');
}

void append_figure(size_t index, const GalleryItem& item, std::string* out) {
  const GalleryEntry& e = *item.entry;
  out->append("<figure class=\"entry ");
  out->append(state_name(item.state));
  out->append("\" id=\"entry-");
  append_number(out, static_cast<long long>(index));
  out->append("\" data-picture=\"");
  append_html_escaped(out, e.picture_name);
  out->append("\">\n<button type=\"button\" class=\"thumb\" aria-label=\"open picture ");
  append_number(out, static_cast<long long>(index + 1));
  out->append("\">");
  if (item.state == kItemShown) {
    int32_t shown_width = 0;
    int32_t shown_height = 0;
    thumbnail_size(item.width, item.height, &shown_width, &shown_height);
    out->append("<img src=\"");
    append_html_escaped(out, item.png_url);
    out->append("\" width=\"");
    append_number(out, shown_width);
    out->append("\" height=\"");
    append_number(out, shown_height);
    out->append(shown_width > item.width ? "\" class=\"enlarged\" alt=\"" : "\" alt=\"");
    append_html_escaped(out, e.picture_name);
    out->append("\" loading=\"lazy\" decoding=\"async\">");
  } else {
    out->append("<span class=\"placeholder\"><strong>");
    if (item.state == kItemMissing) {
      out->append("missing");
    } else {
      out->append(item.state == kItemBroken ? "broken: " : "not converted: ");
      append_html_escaped(out, item.problem);
    }
    out->append("</strong><code>");
    append_html_escaped(out, e.picture_name);
    out->append("</code></span>");
  }
  out->append("</button>\n<figcaption><div class=\"image\">");
  append_html_escaped(out, e.image_path);
  out->append("</div>\n<div class=\"pos\">x <span class=\"num\">");
  append_html_escaped(out, format_feature_number(e.feature.x));
  out->append("</span> &middot; y <span class=\"num\">");
  append_html_escaped(out, format_feature_number(e.feature.y));
  out->append("</span> &middot; z <span class=\"num\">");
  append_html_escaped(out, format_feature_number(e.feature.z));
  out->append("</span> &middot; scale <span class=\"num\">");
  append_html_escaped(out, format_feature_number(e.feature.scale));
  out->append("</span></div>\n<div class=\"code\">code <span class=\"num\">");
  append_html_escaped(out, e.output_code);
  out->append("</span></div>\n");
  out->append(kRateButtons);
  out->append("</figcaption>\n</figure>\n");
}

}  // namespace

void thumbnail_size(int32_t width, int32_t height, int32_t* shown_width, int32_t* shown_height) {
  if (width <= 0 || height <= 0) {
    *shown_width = 0;
    *shown_height = 0;
    return;
  }
  const int64_t longer = std::max(width, height);
  *shown_width = static_cast<int32_t>(std::max<int64_t>(1, int64_t{width} * kThumbnailBox / longer));
  *shown_height = static_cast<int32_t>(std::max<int64_t>(1, int64_t{height} * kThumbnailBox / longer));
}

void append_gallery_page(const std::string& title, const std::vector<GalleryItem>& items,
                         std::string* html) {
  size_t missing = 0;
  size_t broken = 0;
  for (const GalleryItem& item : items) {
    if (item.state == kItemMissing) ++missing;
    if (item.state == kItemBroken || item.state == kItemNotWritten) ++broken;
  }
  html->reserve(html->size() + 8192 + items.size() * 1400);
  html->append(kHead);
  html->append("<title>kelvora gallery: ");
  append_html_escaped(html, title);
  html->append("</title>\n");
  html->append(kStyle);
  html->append("</head>\n<body>\n");
  html->append("<header>\n<h1>kelvora gallery <span class=\"source\">");
  append_html_escaped(html, title);
  html->append("</span></h1>\n<p class=\"summary\">");
  append_number(html, static_cast<long long>(items.size()));
  html->append(items.size() == 1 ? " feature: " : " features: ");
  append_number(html, static_cast<long long>(items.size() - missing - broken));
  html->append(" shown");
  if (missing > 0) {
    html->append(", <span class=\"bad\">");
    append_number(html, static_cast<long long>(missing));
    html->append(" missing</span>");
  }
  if (broken > 0) {
    html->append(", <span class=\"bad\">");
    append_number(html, static_cast<long long>(broken));
    html->append(" broken</span>");
  }
  html->append(".</p>\n");

  html->append(kBodyStart);
  for (size_t i = 0; i < items.size(); ++i) append_figure(i, items[i], html);
  html->append(kDetail);

  html->append("<script type=\"application/json\" id=\"gallery-data\">[");
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) html->append(",\n");
    append_item_data(items[i], html);
  }
  html->append("]</script>\n");
  html->append(kScript);
  html->append("</body>\n</html>\n");
}
