// One settings document for many modules: each module's changes against its
// last backup are shown before anything is queued.
import { api } from '../api.js';
import { h, readUpload, replace } from '../dom.js';
import { errorLine, jobLink, moduleLink, table } from './common.js';

// "1001, 1002 1003\n1004" -> ["1001", "1002", "1003", "1004"], each once.
export function objectList(text) {
  return [...new Set(text.split(/[\s,;]+/).map((s) => s.trim()).filter(Boolean))];
}

export async function render(context) {
  const { t, view } = context;
  const objects = h('textarea', { id: 'many-objects', rows: 5, spellcheck: 'false', placeholder: '1001 1002 1003' });
  const search = h('input', { id: 'many-search', type: 'search', maxlength: 4, placeholder: t('modules.searchPlaceholder') });
  const file = h('input', { id: 'many-file', type: 'file', accept: '.json,.prg', class: 'file' });
  const password = h('input', { id: 'many-password', type: 'number', min: 0, max: 65535, placeholder: t('module.passwordPlaceholder') });
  const problem = errorLine(null);
  const result = h('div', { id: 'many-result' });
  const queueButton = h('button', { type: 'button', id: 'many-queue', class: 'primary', disabled: true }, t('many.queue'));
  let plan = null; // {upload, objects, rows: {object: tr}}

  const addFound = async () => {
    try {
      const answer = await api('GET', `modules?q=${encodeURIComponent(search.value.trim())}&limit=1000`);
      const known = objectList(objects.value);
      objects.value = [...new Set([...known, ...answer.items.map((m) => m.object)])].join('\n');
      plan = null;
      queueButton.disabled = true;
    } catch (error) {
      problem.textContent = error.message;
    }
  };

  const preview = async () => {
    problem.textContent = '';
    queueButton.disabled = true;
    plan = null;
    const list = objectList(objects.value);
    const bad = list.filter((o) => !/^[A-Za-z0-9]{1,4}$/.test(o));
    if (!list.length || bad.length) {
      problem.textContent = bad.length ? t('many.badObjects', { list: bad.join(' ') }) : t('many.noObjects');
      return;
    }
    let upload;
    try {
      upload = await readUpload(file.files[0]);
    } catch (error) {
      problem.textContent = t('module.notJson', { why: error.message });
      return;
    }
    if (!upload) {
      problem.textContent = t('module.pickFile');
      return;
    }
    const rows = {};
    const body = list.map((object) => {
      rows[object] = h('tr', { 'data-object': object }, h('td', {}, moduleLink(object)),
        h('td', { class: 'changes' }, t('many.checking')), h('td', { class: 'queued' }));
      return rows[object];
    });
    replace(result, table('many-preview', ['col.object', 'many.changes', 'many.job'].map((l) => ({ label: t(l) })), body, ''));
    // One request per page of modules: the server compares each with its newest backup.
    let ready = 0;
    const show = (row) => {
      const cell = rows[row.object] && rows[row.object].children[1];
      if (!cell) return;
      if (row.state === 'refused') {
        replace(cell, h('span', { class: 'error' }, row.problems.join('; ')));
        return;
      }
      ++ready;
      if (row.state === 'no backup') {
        replace(cell, h('span', { class: 'muted' }, t('many.noBackup')));
        return;
      }
      replace(cell, row.items.length
        ? h('ul', { class: 'changes' }, row.items.map((i) => h('li', {}, i.key ? [h('span', { class: 'mono' }, i.key), `: ${i.a} → ${i.b}`]
          : t('diff.bytes', { first: i.bytes[0], last: i.bytes[1] }))))
        : h('span', { class: 'muted' }, t('many.nothing')));
    };
    try {
      let cursor = null;
      do {
        const page = `drift?limit=1000${cursor ? `&cursor=${encodeURIComponent(cursor)}` : ''}`;
        const answer = await api('POST', page, { target: list, settings: upload.settings, prg: upload.prg });
        answer.items.forEach(show);
        cursor = answer.next;
      } while (cursor);
    } catch (error) {
      problem.textContent = error.body && error.body.problems ? error.body.problems.join('; ') : error.message;
    }
    if (!context.current()) return;
    plan = { upload, objects: list, rows };
    queueButton.disabled = ready !== list.length;
    queueButton.textContent = t('many.queueN', { n: list.length });
  };

  queueButton.addEventListener('click', async () => {
    if (!plan) return;
    queueButton.disabled = true;
    for (const object of plan.objects) {
      const body = { object, kind: 'write', settings: plan.upload.settings, prg: plan.upload.prg };
      if (password.value !== '') body.password = Number(password.value);
      const cell = plan.rows[object].children[2];
      try {
        const job = await api('POST', 'jobs', body);
        replace(cell, jobLink(job.id));
      } catch (error) {
        replace(cell, h('span', { class: 'error' }, error.message));
      }
    }
    plan = null;
  });
  objects.addEventListener('input', () => { plan = null; queueButton.disabled = true; });
  file.addEventListener('change', () => { plan = null; queueButton.disabled = true; });

  replace(view, h('div', { class: 'heading' }, h('h1', {}, t('many.title'))),
    h('p', { class: 'muted' }, t('many.help')),
    h('section', { class: 'panel' },
      h('div', { class: 'columns' },
        h('div', {}, h('label', { for: 'many-objects' }, t('many.objects')), objects,
          h('div', { class: 'toolbar' }, h('label', {}, t('many.search'), ' ', search),
            h('button', { type: 'button', id: 'many-add', onclick: addFound }, t('many.add')))),
        h('div', { class: 'stack' }, h('label', {}, t('module.file'), file), h('label', {}, t('module.readPassword'), password),
          h('div', { class: 'toolbar' }, h('button', { type: 'button', id: 'many-preview-button', onclick: preview }, t('many.preview')),
            queueButton)))),
    problem, result);
}
