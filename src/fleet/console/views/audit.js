// The audit: each write's changes field by field, who queued it and how it
// ended; filtered by object, operator and date.
import { api, query } from '../api.js';
import { h, replace } from '../dom.js';
import { errorLine, jobLink, localTime, moduleLink, outcomeBadge, table } from './common.js';

// Newest first, as the API lists them with order=newest.
export function auditTable(t, items) {
  const rows = items.map((a) => h('tr', { 'data-audit': a.id },
    h('td', {}, localTime(a.at)),
    h('td', {}, moduleLink(a.object)),
    h('td', {}, jobLink(a.job)),
    h('td', {}, outcomeBadge(a.outcome)),
    h('td', {}, a.by),
    h('td', {}, h('pre', { class: 'difference' }, a.difference))));
  return table('audit', ['col.at', 'col.object', 'col.job', 'col.outcome', 'col.by', 'col.difference']
    .map((label) => ({ label: t(label) })), rows, t('audit.none'));
}

export async function render(context) {
  const { t, view, route } = context;
  const filter = { object: route.params.get('object') || '', by: route.params.get('by') || '',
    since: route.params.get('since') || '' };
  const object = h('input', { id: 'audit-object', type: 'search', maxlength: 4, value: filter.object });
  const by = h('input', { id: 'audit-by', type: 'search', maxlength: 64, value: filter.by });
  const since = h('input', { id: 'audit-since', type: 'date', value: filter.since });
  const box = h('div', { id: 'audit-body' });
  const problem = errorLine(null);
  const load = async () => {
    try {
      const answer = await api('GET', `audit${query({ ...filter, order: 'newest', limit: 500 })}`);
      if (!context.current()) return;
      problem.textContent = '';
      replace(box, auditTable(t, answer.items));
    } catch (error) {
      problem.textContent = error.message;
      throw error;
    }
  };
  const apply = () => {
    filter.object = object.value.trim();
    filter.by = by.value.trim();
    filter.since = since.value;
    // The filter stays in the address, so a link or a reload shows the same lines.
    history.replaceState(null, '', `#/audit${query(filter)}`);
    load().catch(() => {});
  };
  for (const input of [object, by]) input.addEventListener('change', apply);
  since.addEventListener('change', apply);
  replace(view, h('div', { class: 'heading' }, h('h1', {}, t('audit.title'))),
    h('form', { class: 'toolbar', onsubmit: (event) => { event.preventDefault(); apply(); } },
      h('label', {}, t('col.object'), ' ', object), h('label', {}, t('col.by'), ' ', by),
      h('label', {}, t('audit.since'), ' ', since), h('button', { type: 'submit', id: 'audit-filter' }, t('audit.filter'))),
    problem, box);
  await context.every(5000, load);
}
