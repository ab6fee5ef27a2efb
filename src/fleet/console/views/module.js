// One module: what is known of it, jobs queued for it, its backups (as .prg,
// as settings page by page, as a journal, compared with each other or with
// a file) and its audit lines.
import { api, may, query } from '../api.js';
import { h, readUpload, replace } from '../dom.js';
import { auditTable } from './audit.js';
import { ageOf, errorLine, jobLink, localTime, onlineMark, stateBadge, table } from './common.js';
import { loadJobs } from './jobs.js';

// The settings document's pages, in tab order.
function settingsPages(document) {
  return Object.entries(document).filter(([, fields]) => fields && typeof fields === 'object' && !Array.isArray(fields));
}

function valueText(value) {
  if (value === null) return '';
  return typeof value === 'string' ? value : JSON.stringify(value);
}

export function differenceTable(t, items, left, right, id = 'difference') {
  const rows = items.map((item) => (item.key
    ? h('tr', { 'data-key': item.key }, h('td', { class: 'mono' }, item.key), h('td', { class: 'before' }, item.a),
      h('td', { class: 'after' }, item.b))
    : h('tr', {}, h('td', { colspan: 3, class: 'muted' }, t('diff.bytes', { first: item.bytes[0], last: item.bytes[1] })))));
  const shown = table(id, [{ label: t('diff.field') }, { label: left }, { label: right }], rows, t('diff.equal'));
  shown.classList.add('difference');
  return shown;
}

async function download(id, object) {
  const blob = await api('GET', `backups/${id}`);
  const link = h('a', { href: URL.createObjectURL(blob), download: `${object}-${id}.prg` });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

export async function render(context) {
  const { t, view, route, user } = context;
  const object = route.argument;
  const facts = h('div', { id: 'module-facts' });
  const problem = errorLine(null);
  const notice = h('p', { class: 'notice', id: 'module-notice', role: 'status' });
  const jobsBox = h('div', { id: 'module-jobs' });
  const backupsBox = h('div', { id: 'module-backups' });
  const detail = h('section', { id: 'detail', class: 'panel', hidden: true });
  const auditBox = h('div', { id: 'module-audit' });
  const selection = { a: null, b: null };
  let module = null;
  let backups = [];
  let shownBackups = '';
  let shownAudit = '';

  const say = (text) => {
    notice.textContent = text;
    problem.textContent = '';
  };
  const fail = (error) => {
    notice.textContent = '';
    problem.textContent = error.problems ? error.problems.join('\n') : error.message;
  };
  const queue = async (body) => {
    try {
      const job = await api('POST', 'jobs', { object, ...body });
      say(t('module.queued', { id: job.id, kind: t(`kind.${job.kind}`) }));
      loadJobs(context, jobsBox, problem, { object }).catch(() => {});
      return job;
    } catch (error) {
      fail(error.body && error.body.problems ? { problems: error.body.problems } : error);
      return null;
    }
  };
  const showDetail = (title, ...content) => {
    detail.hidden = false;
    replace(detail, h('div', { class: 'panel-head' }, h('h2', {}, title),
      h('button', { type: 'button', class: 'small', id: 'detail-close', onclick: () => { detail.hidden = true; } }, t('close'))),
    ...content);
    detail.scrollIntoView({ block: 'nearest' });
  };

  const showSettings = async (id) => {
    try {
      const document = await api('GET', `backups/${id}/settings`);
      const pages = settingsPages(document);
      const body = h('div', {});
      const tabs = h('div', { class: 'tabs', role: 'tablist' });
      const open = (index) => {
        [...tabs.children].forEach((tab, i) => tab.setAttribute('aria-selected', String(i === index)));
        const [page, fields] = pages[index];
        replace(body, h('table', { class: 'grid settings', id: 'settings' }, h('tbody', {},
          Object.entries(fields).map(([key, value]) => h('tr', {}, h('td', { class: 'mono key' }, `${page}.${key}`),
            h('td', { class: 'mono' }, valueText(value)))))));
      };
      pages.forEach(([page], index) => tabs.append(h('button', { type: 'button', role: 'tab', 'data-page': page,
        onclick: () => open(index) }, page)));
      showDetail(t('module.settingsOf', { id }), tabs, body);
      if (pages.length) open(0);
    } catch (error) {
      fail(error);
    }
  };

  const showJournal = async (id) => {
    try {
      const journal = await api('GET', `backups/${id}/journal`);
      const rows = journal.items.map((row) => h('tr', {}, h('td', {}, row.time), h('td', { class: 'mono' }, row.code),
        h('td', {}, row.description), h('td', {}, row.partition), h('td', {}, row.zone)));
      showDetail(t('module.journalOf', { id }), table('journal',
        ['journal.time', 'journal.code', 'journal.event', 'journal.partition', 'journal.zone'].map((l) => ({ label: t(l) })),
        rows, t('journal.none')));
    } catch (error) {
      fail(error);
    }
  };

  const compare = async () => {
    if (!selection.a || !selection.b) {
      fail(new Error(t('diff.pickTwo')));
      return;
    }
    try {
      const answer = await api('GET', `diff${query({ from: selection.a, to: selection.b })}`);
      showDetail(t('diff.title', { a: selection.a, b: selection.b }),
        differenceTable(t, answer.items, t('diff.backup', { id: selection.a }), t('diff.backup', { id: selection.b })));
    } catch (error) {
      fail(error);
    }
  };

  const compareFile = async (input) => {
    if (!selection.a) {
      fail(new Error(t('diff.pickA')));
      return;
    }
    try {
      const upload = await readUpload(input.files[0]);
      input.value = '';
      if (!upload) return;
      const answer = await api('POST', 'diff', { backup: Number(selection.a), settings: upload.settings, prg: upload.prg });
      showDetail(t('diff.fileTitle', { a: selection.a, file: upload.name }),
        differenceTable(t, answer.items, t('diff.backup', { id: selection.a }), upload.name));
    } catch (error) {
      fail(error.body && error.body.problems ? { problems: error.body.problems } : error);
    }
  };

  const drawFacts = () => {
    const row = (label, ...value) => h('tr', {}, h('th', {}, t(label)), h('td', {}, ...value));
    replace(facts, h('table', { class: 'facts' },
      row('col.online', onlineMark(module.connected)),
      row('col.address', h('span', { class: 'mono' }, module.peer)),
      row('module.identification', module.identification),
      row('col.firstSeen', localTime(module.firstSeen)),
      row('col.lastSeen', localTime(module.lastSeen)),
      row('module.password', t(`module.password.${module.password}`)),
      row('col.lastJob', module.lastJob ? [jobLink(module.lastJob.id), ' ', t(`kind.${module.lastJob.kind}`), ' ',
        stateBadge(module.lastJob)] : ''),
      row('col.lastBackup', module.lastBackup ? `${localTime(module.lastBackup.taken)} (${ageOf(module.lastBackup.taken)})` : '')));
  };

  const drawBackups = () => {
    const pick = (side, id) => h('input', { type: 'radio', name: `backup-${side}`, value: id, 'aria-label': `${side} ${id}`,
      checked: selection[side] === String(id), onchange: () => { selection[side] = String(id); } });
    const rows = backups.map((b) => h('tr', { 'data-backup': b.id },
      h('td', {}, `#${b.id}`), h('td', {}, localTime(b.taken)), h('td', {}, b.source), h('td', {}, jobLink(b.job)),
      h('td', { class: 'pick' }, pick('a', b.id)), h('td', { class: 'pick' }, pick('b', b.id)),
      h('td', { class: 'actions' },
        h('button', { type: 'button', class: 'small', 'data-download': b.id, onclick: () => download(b.id, object).catch(fail) }, '.prg'),
        h('button', { type: 'button', class: 'small', 'data-settings': b.id, onclick: () => showSettings(b.id) }, t('module.settings')),
        h('button', { type: 'button', class: 'small', 'data-journal': b.id, onclick: () => showJournal(b.id) }, t('module.journal')))));
    const fileInput = h('input', { type: 'file', id: 'compare-file', accept: '.json,.prg', class: 'file',
      onchange: (event) => compareFile(event.target) });
    replace(backupsBox,
      table('backups', ['col.backup', 'col.taken', 'col.source', 'col.job', 'diff.a', 'diff.b', '']
        .map((l) => ({ label: l ? t(l) : '' })), rows, t('module.noBackups')),
      h('div', { class: 'toolbar' },
        h('button', { type: 'button', id: 'compare', onclick: compare }, t('diff.compare')),
        h('label', { class: 'button' }, t('diff.compareFile'), fileInput)));
  };

  const actions = () => {
    if (!may(user.role, 'operator')) return null;
    const upload = h('input', { type: 'file', id: 'write-file', accept: '.json,.prg', class: 'file' });
    const password = h('input', { type: 'number', id: 'write-password', min: 0, max: 65535,
      placeholder: t('module.passwordPlaceholder') });
    const preview = h('div', { id: 'write-preview' });
    let pending = null;
    upload.addEventListener('change', async () => {
      replace(preview);
      pending = null;
      try {
        pending = await readUpload(upload.files[0]);
        if (!pending) return;
        const answer = await api('POST', 'diff', { object, settings: pending.settings, prg: pending.prg });
        replace(preview, h('p', { class: 'muted' }, t('module.writePreview', { n: answer.items.length, id: answer.backup })),
          differenceTable(t, answer.items, t('diff.backup', { id: answer.backup }), pending.name, 'write-difference'));
      } catch (error) {
        if (error.status === 404) replace(preview, h('p', { class: 'muted' }, t('module.noPreview')));
        else fail(error instanceof SyntaxError ? new Error(t('module.notJson', { why: error.message })) : error.body && error.body.problems ? { problems: error.body.problems } : error);
      }
    });
    const writeButton = h('button', { type: 'button', id: 'queue-write', class: 'primary', onclick: async () => {
      if (!pending) {
        fail(new Error(t('module.pickFile')));
        return;
      }
      const body = { kind: 'write', settings: pending.settings, prg: pending.prg };
      if (password.value !== '') body.password = Number(password.value);
      if (await queue(body)) {
        upload.value = '';
        pending = null;
        replace(preview);
      }
    } }, t('module.queueWrite'));
    const readButton = h('button', { type: 'button', id: 'queue-read', onclick: () => queue({ kind: 'read' }) },
      t('module.queueRead'));
    const blocks = [h('div', { class: 'action' }, h('h3', {}, t('module.read')), h('p', { class: 'muted' }, t('module.readHelp')), readButton),
      h('div', { class: 'action' }, h('h3', {}, t('module.write')),
        h('label', {}, t('module.file'), ' ', upload), h('label', {}, t('module.readPassword'), ' ', password), writeButton, preview)];
    if (may(user.role, 'admin')) {
      const newPassword = h('input', { type: 'number', id: 'new-password', min: 0, max: 65535 });
      const service = async (kind, body, message) => {
        if (!(await context.confirm(message, t(`module.confirm.${kind}`)))) return;
        const sent = { kind, ...body };
        if (password.value !== '') sent.password = Number(password.value);
        queue(sent);
      };
      blocks.push(h('div', { class: 'action admin' }, h('h3', {}, t('module.service')),
        h('label', {}, t('module.newPassword'), ' ', newPassword),
        h('button', { type: 'button', id: 'queue-password', onclick: () => {
          if (newPassword.value === '') return fail(new Error(t('module.needNewPassword')));
          return service('password', { newPassword: Number(newPassword.value) }, t('module.passwordConfirm', { object }));
        } }, t('module.changePassword')),
        h('button', { type: 'button', id: 'queue-clear-journal', onclick: () =>
          service('clear-journal', {}, t('module.clearConfirm', { object })) }, t('module.clearJournal')),
        h('button', { type: 'button', id: 'queue-reset', class: 'danger', onclick: () =>
          service('reset', { force: true }, t('module.resetConfirm', { object })) }, t('module.reset'))));
    }
    return h('section', { class: 'panel', id: 'module-actions' }, h('h2', {}, t('module.queue')), h('div', { class: 'actions-grid' }, blocks));
  };

  const queueing = actions();
  replace(view,
    h('div', { class: 'heading' }, h('h1', {}, t('module.title', { object })),
      h('a', { href: `#/audit?object=${encodeURIComponent(object)}` }, t('module.allAudit'))),
    problem, notice,
    h('div', { class: queueing ? 'columns' : null }, h('section', { class: 'panel' }, h('h2', {}, t('module.facts')), facts),
      queueing),
    h('section', { class: 'panel' }, h('h2', {}, t('module.jobs')), jobsBox),
    h('section', { class: 'panel' }, h('h2', {}, t('module.backups')), backupsBox),
    detail,
    h('section', { class: 'panel' }, h('h2', {}, t('module.audit')), auditBox));

  await context.every(2000, async () => {
    try {
      module = await api('GET', `modules/${encodeURIComponent(object)}`);
    } catch (error) {
      problem.textContent = error.message;
      throw error;
    }
    if (!context.current()) return;
    drawFacts();
    await loadJobs(context, jobsBox, problem, { object });
    const list = await api('GET', `backups${query({ object, order: 'newest', limit: 1000 })}`);
    if (!context.current()) return;
    backups = list.items;
    if (JSON.stringify(backups) !== shownBackups) {
      shownBackups = JSON.stringify(backups);
      // The two newest are compared unless the user picked others.
      if (!selection.a && backups.length > 1) selection.a = String(backups[1].id);
      if (!selection.b && backups.length > 0) selection.b = String(backups[0].id);
      drawBackups();
    }
    const audit = await api('GET', `audit${query({ object, order: 'newest', limit: 500 })}`);
    if (!context.current()) return;
    if (JSON.stringify(audit.items) !== shownAudit) {
      shownAudit = JSON.stringify(audit.items);
      replace(auditBox, auditTable(t, audit.items));
    }
  });
}
