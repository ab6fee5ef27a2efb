// Every module ever seen: a page at a time, searched by object number,
// sorted by any column, kept fresh every 2 seconds.
import { api, query } from '../api.js';
import { h, replace, ageSeconds } from '../dom.js';
import { age, errorLine, jobLink, localTime, moduleLink, onlineMark, stateBadge, table } from './common.js';

const kPage = 50;

const kColumns = [
  { key: 'object', label: 'col.object', value: (m) => m.object },
  { key: 'online', label: 'col.online', value: (m) => (m.connected ? 0 : 1) },
  { key: 'address', label: 'col.address', value: (m) => m.peer },
  { key: 'firstSeen', label: 'col.firstSeen', value: (m) => m.firstSeen },
  { key: 'lastSeen', label: 'col.lastSeen', value: (m) => m.lastSeen },
  { key: 'lastJob', label: 'col.lastJob', value: (m) => (m.lastJob ? m.lastJob.id : 0) },
  { key: 'outcome', label: 'col.outcome', value: (m) => (m.lastJob ? m.lastJob.state : '') },
  { key: 'backup', label: 'col.lastBackup', value: (m) => ageSeconds(m.lastBackup && m.lastBackup.taken) ?? Infinity },
];

export async function render(context) {
  const { t, view, route } = context;
  const state = {
    q: route.params.get('q') || '',
    connected: route.params.get('connected') === 'true',
    sort: route.params.get('sort') || 'object',
    descending: route.params.get('order') === 'desc',
    cursors: [''], // the cursor of each page shown so far
    next: null,
    items: [],
    asked: 0, // the newest request's number: an older answer is dropped
  };
  const search = h('input', { id: 'module-search', type: 'search', maxlength: 4, value: state.q,
    placeholder: t('modules.searchPlaceholder'), 'aria-label': t('modules.search') });
  const onlineOnly = h('input', { id: 'online-only', type: 'checkbox', checked: state.connected });
  const status = h('span', { class: 'muted', id: 'modules-status' });
  const body = h('div', { id: 'modules-body' });
  const previous = h('button', { type: 'button', id: 'page-previous' }, t('page.previous'));
  const next = h('button', { type: 'button', id: 'page-next' }, t('page.next'));
  const problem = errorLine(null);

  const header = () => kColumns.map((c) => {
    const sorted = state.sort === c.key;
    return {
      label: h('button', { type: 'button', class: `sort${sorted ? ' sorted' : ''}`, 'data-sort': c.key,
        'aria-sort': sorted ? (state.descending ? 'descending' : 'ascending') : null,
        onclick: () => {
          state.descending = sorted ? !state.descending : false;
          state.sort = c.key;
          draw();
        } }, t(c.label), sorted ? (state.descending ? ' ▼' : ' ▲') : ''),
    };
  });

  const draw = () => {
    const column = kColumns.find((c) => c.key === state.sort) || kColumns[0];
    const rows = [...state.items].sort((a, b) => {
      const x = column.value(a);
      const y = column.value(b);
      const order = x < y ? -1 : x > y ? 1 : a.object < b.object ? -1 : 1;
      return state.descending ? -order : order;
    }).map((m) => h('tr', { 'data-object': m.object },
      h('td', {}, moduleLink(m.object)),
      h('td', {}, onlineMark(m.connected)),
      h('td', { class: 'mono' }, m.peer),
      h('td', {}, localTime(m.firstSeen)),
      h('td', {}, localTime(m.lastSeen)),
      h('td', {}, m.lastJob ? [jobLink(m.lastJob.id), ' ', t(`kind.${m.lastJob.kind}`)] : ''),
      h('td', {}, m.lastJob ? stateBadge(m.lastJob) : ''),
      h('td', { title: m.lastBackup ? localTime(m.lastBackup.taken) : '' },
        m.lastBackup ? age(ageSeconds(m.lastBackup.taken)) : t('modules.noBackup'))));
    replace(body, table('modules', header(), rows, t('modules.none')));
    previous.disabled = state.cursors.length <= 1;
    next.disabled = !state.next;
    const page = state.cursors.length;
    status.textContent = t('modules.shown', { n: state.items.length, online: state.items.filter((m) => m.connected).length, page });
  };

  const load = async () => {
    const asked = ++state.asked;
    try {
      const cursor = state.cursors[state.cursors.length - 1];
      const answer = await api('GET', `modules${query({ q: state.q, connected: state.connected ? 'true' : '',
        limit: kPage, cursor })}`);
      if (!context.current() || asked !== state.asked) return;
      state.items = answer.items;
      state.next = answer.next;
      problem.textContent = '';
      draw();
    } catch (error) {
      problem.textContent = error.message;
      throw error;
    }
  };
  const restart = () => {
    state.cursors = [''];
    load();
  };
  search.addEventListener('input', () => {
    state.q = search.value.trim();
    restart();
  });
  onlineOnly.addEventListener('change', () => {
    state.connected = onlineOnly.checked;
    restart();
  });
  previous.addEventListener('click', () => {
    state.cursors.pop();
    load();
  });
  next.addEventListener('click', () => {
    if (!state.next) return;
    state.cursors.push(state.next);
    load();
  });

  replace(view,
    h('div', { class: 'heading' }, h('h1', {}, t('modules.title')), status),
    h('div', { class: 'toolbar' },
      h('label', {}, t('modules.search'), ' ', search),
      h('label', { class: 'check' }, onlineOnly, ' ', t('modules.onlineOnly')),
      h('span', { class: 'spacer' }), previous, next),
    problem, body);
  await context.every(2000, load);
}
