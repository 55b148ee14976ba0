// The gallery page in a real browser: Debian's chromium, headless, driven by playwright-core.
// Makes a run with kelvora-phantom and kelvora, builds its pages with kelvora-gallery and
// checks what a person relies on: every thumbnail decodes at the picture's own size, keys
// rate features and the ratings survive a reload, the detail view zooms by whole factors,
// the CSV and command-file exports hold the ratings (and the latter feeds kelvora-gallery
// again), odd output codes show as text, a missing picture shows its expected name, and
// the page asks for nothing but its own files. Saves a screenshot for the README.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const options = {};
for (let i = 2; i + 1 < process.argv.length; i += 2) options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
for (const name of ['kelvora', 'phantom', 'gallery', 'features', 'work']) {
  if (!options[name]) throw new Error(`missing option --${name}`);
}
const work = path.resolve(options.work);

let passed = 0;
let failed = 0;
async function check(name, body) {
  try {
    await body();
    passed += 1;
    console.log(`ok - ${name}`);
  } catch (error) {
    failed += 1;
    console.log(`not ok - ${name}\n${error && error.stack ? error.stack : error}`);
  }
}

function run(program, args, expectedStatus) {
  const result = spawnSync(program, args, { cwd: work, encoding: 'utf8' });
  if (result.status !== expectedStatus) {
    throw new Error(`${path.basename(program)} ${args.join(' ')} exited ${result.status} (want ${expectedStatus}):\n` +
      `${result.stdout}${result.stderr}`);
  }
  return result.stdout;
}

function pgmSize(name) {
  const header = fs.readFileSync(path.join(work, name)).subarray(0, 64).toString('latin1');
  const match = /^P5\s+(\d+)\s+(\d+)\s+255\s/.exec(header);
  assert.ok(match, `${name} is not a P5 picture`);
  return { w: Number(match[1]), h: Number(match[2]) };
}

// The four numbers of every accepted feature-list line, as floats.
function readFeatures(file) {
  const features = [];
  for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    const m = /^\s*([-+.\deE]+)\s+([-+.\deE]+)\s+([-+.\deE]+)\s+([-+.\deE]+)/.exec(line);
    if (m) features.push(m.slice(1, 5).map((s) => Math.fround(Number(s))));
  }
  return features;
}

// --- the run the pages are made from ---------------------------------------------------
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
fs.copyFileSync(options.features, path.join(work, 'features.txt'));
run(options.phantom, ['phantom.nii'], 0);
run(options.kelvora, ['phantom.nii', 'features.txt', 'run1'], 0);
run(options.gallery, ['phantom.nii', 'features.txt', 'run1'], 0);
const features = readFeatures(path.join(work, 'features.txt'));
assert.ok(features.length >= 3, 'the sample lists at least three features');

const oddCode = `q<b>&"'`;
fs.writeFileSync(path.join(work, 'odd.txt'), `phantom.nii\t14\t18\t16\t1.5\t${oddCode}\n`);
fs.writeFileSync(path.join(work, 'commands.txt'),
  `# one picture kelvora wrote, one it never did\nphantom.nii\t14\t18\t16\t1.5\t${oddCode}\n` +
  'phantom.nii\t1\t2\t3\t1\tnowhere\n');
run(options.kelvora, ['odd.txt'], 0);

// --- the browser ------------------------------------------------------------------------
const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'kelvora-chromium-'));
const context = await chromium.launchPersistentContext(userDataDir, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  viewport: { width: 1000, height: 620 },
  acceptDownloads: true,
});
const foreignRequests = [];
const pageErrors = [];
await context.route('**/*', (route) => {
  const url = route.request().url();
  if (/^(file|blob|data):/.test(url)) return route.continue();
  foreignRequests.push(url);
  return route.abort();
});

const page = context.pages()[0] || (await context.newPage());
page.on('pageerror', (error) => pageErrors.push(String(error)));
page.on('console', (message) => { if (message.type() === 'error') pageErrors.push(message.text()); });

async function open(name) {
  await page.goto(pathToFileURL(path.join(work, name)).href);
  await page.waitForSelector('html[data-ready="true"]');
}
// Every thumbnail, loaded eagerly and decoded, with its natural size.
function decodedThumbnails() {
  return page.$$eval('#grid figure.entry img', (images) => Promise.all(images.map(async (img) => {
    img.loading = 'eager';
    const picture = img.closest('figure').dataset.picture;
    try {
      await img.decode();
    } catch (error) {
      return { picture, error: String(error) };
    }
    return { picture, w: img.naturalWidth, h: img.naturalHeight };
  })));
}
const figureClasses = () => page.$$eval('#grid figure.entry', (list) => list.map((f) => f.className));
const rated = (classes) => classes.map((c) => (/rated-(\w+)/.exec(c) || [, ''])[1]);

async function exported(button) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
  return { name: download.suggestedFilename(), text: fs.readFileSync(await download.path(), 'utf8') };
}

await open('run1.gallery.html');

await check('every thumbnail decodes with the size of its picture', async () => {
  const thumbnails = await decodedThumbnails();
  assert.equal(thumbnails.length, features.length);
  for (const t of thumbnails) {
    assert.equal(t.error, undefined, `${t.picture}: ${t.error}`);
    assert.deepEqual({ w: t.w, h: t.h }, pgmSize(t.picture), t.picture);
  }
});

await check('keys rate the current feature and move between features', async () => {
  await page.keyboard.press('k');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('r');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('u');
  const ratings = rated(await figureClasses());
  assert.deepEqual(ratings, ['keep', 'reject', 'unsure', ...Array(features.length - 3).fill('')]);
  assert.match(await page.textContent('#counts'), /keep 1 . reject 1 . unsure 1 . unrated \d+/);
});

await check('the detail view shows the current picture at whole-number zoom, without smoothing', async () => {
  await page.keyboard.press('Enter');
  await page.waitForSelector('#detail:not([hidden])');
  const size = pgmSize(await page.getAttribute('#entry-2', 'data-picture'));
  const shown = async () => page.$eval('#detail-img', (img) => ({
    w: img.getBoundingClientRect().width, h: img.getBoundingClientRect().height,
    natural: [img.naturalWidth, img.naturalHeight], rendering: getComputedStyle(img).imageRendering,
    complete: img.complete,
  }));
  await page.waitForFunction(() => document.getElementById('detail-img').complete);
  const before = await shown();
  const zoom = before.w / size.w;
  assert.ok(Number.isInteger(zoom) && zoom >= 1, `width ${before.w} is not a whole multiple of ${size.w}`);
  assert.equal(before.h, size.h * zoom);
  assert.deepEqual(before.natural, [size.w, size.h]);
  assert.equal(before.rendering, 'pixelated');
  await page.keyboard.press('+');
  assert.equal((await shown()).w, size.w * (zoom + 1));
  await page.keyboard.press('-');
  await page.keyboard.press('-');
  assert.equal((await shown()).w, size.w * Math.max(1, zoom - 1));
  assert.equal(await page.isVisible('#stage .label.tl'), true);
  await page.keyboard.press('Escape');
  await page.waitForSelector('#detail', { state: 'hidden' });
});

await check('ratings are kept in localStorage across a reload', async () => {
  await page.reload();
  await page.waitForSelector('html[data-ready="true"]');
  assert.deepEqual(rated(await figureClasses()).slice(0, 4), ['keep', 'reject', 'unsure', '']);
});

await check('clicking a pressed rating button clears it, clicking another sets it', async () => {
  await page.click('#entry-3 .rate button[data-rate="reject"]');
  await page.click('#entry-3 .rate button[data-rate="reject"]');
  assert.equal(rated(await figureClasses())[3], '');
  await page.click('#entry-3 .rate button[data-rate="unsure"]');
  assert.equal(rated(await figureClasses())[3], 'unsure');
  await page.click('#entry-3 .rate button[data-rate="unsure"]');
});

await check('the CSV export has one row per feature with its rating', async () => {
  const { name, text } = await exported('#export-csv');
  assert.equal(name, 'run1.gallery.ratings.csv');
  assert.ok(text.endsWith('\n'));
  const rows = text.slice(0, -1).split('\n').map((line) => line.split(','));
  assert.deepEqual(rows[0], ['image', 'x', 'y', 'z', 'scale', 'output_code', 'rating']);
  assert.equal(rows.length, features.length + 1);
  const want = ['keep', 'reject', 'unsure', ...Array(features.length - 3).fill('')];
  rows.slice(1).forEach((row, i) => {
    assert.equal(row.length, 7, `row ${i + 1}`);
    assert.equal(row[0], 'phantom.nii');
    assert.deepEqual(row.slice(1, 5).map((s) => Math.fround(Number(s))), features[i], `numbers of row ${i + 1}`);
    assert.equal(row[5], 'run1');
    assert.equal(row[6], want[i], `rating of row ${i + 1}`);
  });
});

await check('the command-file export, filtered to "keep", is a command file for kelvora-gallery', async () => {
  const { name, text } = await exported('#export-tsv');
  assert.equal(name, 'run1.gallery.ratings.tsv');
  assert.ok(text.endsWith('\n'));
  const lines = text.slice(0, -1).split('\n').filter((line) => !line.startsWith('#'));
  assert.equal(lines.length, features.length);
  for (const line of lines) assert.equal(line.split('\t').length, 7, line);
  const kept = lines.filter((line) => line.split('\t')[6] === 'keep');
  fs.writeFileSync(path.join(work, 'kept.txt'), kept.join('\n') + '\n');
  const out = run(options.gallery, ['kept.txt'], 0);
  assert.match(out, /Wrote gallery\.html: 1 feature, 1 shown, 0 missing, 0 broken\./);
});

if (options.screenshot) {
  await page.evaluate(() => {
    document.getElementById('export-panel').hidden = true;
    document.activeElement.blur();
    window.scrollTo(0, 0);
  });
  await page.keyboard.press('Home');
  await page.screenshot({ path: options.screenshot });
  console.log(`screenshot: ${options.screenshot}`);
}

// The export check above wrote its own gallery.html.
run(options.gallery, ['commands.txt'], 1);
await open('gallery.html');

await check('an output code with <, & and quotes shows as text, and its picture still loads', async () => {
  assert.equal(await page.textContent('#entry-0 .code .num'), oddCode);
  assert.equal(await page.$('#grid b'), null);
  const [thumbnail] = await decodedThumbnails();
  assert.equal(thumbnail.error, undefined, thumbnail.error);
  assert.deepEqual({ w: thumbnail.w, h: thumbnail.h }, pgmSize(thumbnail.picture));
});

await check('a missing picture shows as missing with its expected name, also in the detail view', async () => {
  const expected = 'nowhere.phantom.nii_x001_y002_z003.pgm';
  assert.match(await page.getAttribute('#entry-1', 'class'), /\bmissing\b/);
  assert.equal(await page.$('#entry-1 img'), null);
  assert.match(await page.textContent('#entry-1 .placeholder'), new RegExp(`missing.*${expected.replace(/\./g, '\\.')}`));
  await page.keyboard.press('End');
  await page.keyboard.press('Enter');
  assert.match(await page.textContent('#detail-missing'), new RegExp(expected.replace(/\./g, '\\.')));
});

await check('in the "unrated" view, rating a feature moves on to the next unrated one', async () => {
  await page.keyboard.press('Escape');
  await page.selectOption('#filter', 'unrated');
  await page.keyboard.press('Home');
  await page.keyboard.press('k');
  assert.equal(await page.isHidden('#entry-0'), true);
  assert.match(await page.getAttribute('#entry-1', 'class'), /\bcurrent\b/);
  await page.selectOption('#filter', 'problem');
  assert.deepEqual(await page.$$eval('#grid figure.entry', (list) => list.map((f) => f.hidden)), [true, false]);
});

await check('the pages ask for nothing but local files and raise no script errors', async () => {
  assert.deepEqual(foreignRequests, []);
  assert.deepEqual(pageErrors, []);
});

await context.close();
fs.rmSync(userDataDir, { recursive: true, force: true });
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
