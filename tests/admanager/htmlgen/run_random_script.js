// Runs a random-mode ad block as a browser would: decodes the Shift_JIS page,
// takes the script element's text and runs it with document.write recorded.
// Usage: node run_random_script.js PAGE CELLS CLASS COLUMNS ROWS RUNS [LABEL]
// CELLS holds the static table's cell of every banner, separated by NUL bytes;
// LABEL, a file holding the static block's label element written above the table.
'use strict';
const fs = require('fs');
const vm = require('vm');

const [pageFile, cellsFile, cls, colArg, rowArg, runArg, labelFile] = process.argv.slice(2);
const columns = Number(colArg), rows = Number(rowArg), runs = Number(runArg);
const decoder = new TextDecoder('shift_jis');
const html = decoder.decode(fs.readFileSync(pageFile));
const cellBytes = fs.readFileSync(cellsFile);
// Line breaks are dropped from the script's literals on purpose: the cells agree
// on everything else.
const cells = cellBytes.length ? decoder.decode(cellBytes).replace(/\r\n|\r|\n/g, '').split('\0') : [];
const label = labelFile ? decoder.decode(fs.readFileSync(labelFile)) : null;

function fail(message) {
    console.error(message);
    process.exit(1);
}

const open = '<script language="JavaScript">';
const close = '</script><noscript></noscript>';
if (!html.startsWith(open) || !html.endsWith(close))
    fail('not a script block');
const body = html.slice(open.length, html.length - close.length);
// The HTML parser ends the element at the first "</script" in any case, and
// after "<!--" a "<script" would keep it from ending at ours.
if (/<\/?script/i.test(body))
    fail('a script tag inside the script element');

const sp = '\u3000';
const nullCell = `<td class="${cls}_data"><div class="${cls}_adv"><div class="${cls}_title">${sp}</div>` +
    `<div class="${cls}_comment">${sp}</div><div class="${cls}_banner">${sp}</div></div></td>`;
const shown = Math.min(columns * rows, cells.length);
const rowCount = Math.max(1, Math.ceil(shown / columns));

for (let run = 0; run < runs; ++run) {
    let written = [];
    const context = vm.createContext({document: {write: (s) => written.push(String(s))}});
    // A seeded generator so a failure can be repeated.
    vm.runInContext(`Math.random = (() => { let s = ${run + 1} >>> 0;
        return () => { s = (s + 0x6D2B79F5) >>> 0; let t = Math.imul(s ^ (s >>> 15), 1 | s);
        t ^= t + Math.imul(t ^ (t >>> 7), 61 | t); return ((t ^ (t >>> 14)) >>> 0) / 4294967296; }; })();`, context);
    try {
        vm.runInContext(body, context, {filename: 'block.js'});
    } catch (e) {
        fail(`the script failed: ${e}`);
    }
    if (run === 0) {
        for (let i = 0; i < cells.length; ++i)
            if (context.szAdvlist[i] !== cells[i])
                fail(`szAdvlist[${i}] is\n${context.szAdvlist[i]}\nnot\n${cells[i]}`);
        if (context.szAdvNull !== nullCell)
            fail(`null cell is ${context.szAdvNull}`);
    }
    if (label !== null) {
        if (written[0] !== label)
            fail(`the label is ${written[0]}, not ${label}`);
        written = written.slice(1);
    }
    const expectedLength = 2 + rowCount * (columns + 2);
    if (written.length !== expectedLength)
        fail(`${written.length} writes instead of ${expectedLength}`);
    if (written[0] !== `<table class="${cls}_frame">` || written[written.length - 1] !== '</table>')
        fail('table open or close is wrong');
    const used = new Set();
    let cell = 0;
    for (let r = 0; r < rowCount; ++r) {
        const at = 1 + r * (columns + 2);
        if (written[at] !== '<tr>' || written[at + columns + 1] !== '</tr>')
            fail(`row ${r} is not whole`);
        for (let k = 0; k < columns; ++k, ++cell) {
            const text = written[at + 1 + k];
            if (cell >= shown) {
                if (text !== nullCell)
                    fail(`cell ${cell} should be the null cell`);
                continue;
            }
            const i = cells.indexOf(text);
            if (i < 0)
                fail(`cell ${cell} matches no banner:\n${text}`);
            // Equal cells are fine; count each shown position once.
            let j = i;
            while (used.has(j))
                j = cells.indexOf(text, j + 1);
            if (j < 0)
                fail(`cell ${cell} is shown twice`);
            used.add(j);
        }
    }
}
console.log('ok');
