// What several views show the same way.
import { h, localTime, ageSeconds } from '../dom.js';
import { t } from '../i18n.js';

export function age(seconds) {
  if (seconds === null) return '';
  if (seconds < 60) return t('age.seconds', { n: seconds });
  if (seconds < 3600) return t('age.minutes', { n: Math.floor(seconds / 60) });
  if (seconds < 86400) return t('age.hours', { n: Math.floor(seconds / 3600) });
  return t('age.days', { n: Math.floor(seconds / 86400) });
}

export function ageOf(time) {
  return age(ageSeconds(time));
}

export function moduleLink(object) {
  return h('a', { href: `#/module/${encodeURIComponent(object)}`, class: 'object' }, object);
}

export function jobLink(id) {
  return id ? h('a', { href: `#/job/${id}` }, `#${id}`) : '';
}

// A job's state as a badge: a finished write says "verified".
export function stateBadge(job) {
  if (!job) return '';
  const name = job.state === 'done' && job.kind === 'write' ? 'verified' : job.state;
  return h('span', { class: `badge state-${name}`, 'data-state': job.state }, t(`state.${name}`));
}

export function outcomeBadge(outcome) {
  return h('span', { class: `badge outcome-${outcome}` }, t(`outcome.${outcome}`));
}

export function kindText(job) {
  return t(`kind.${job.kind}`) + (job.options ? ` (${job.options})` : '');
}

export function onlineMark(connected) {
  return h('span', { class: connected ? 'online' : 'offline', title: connected ? t('online') : t('offline') },
    connected ? t('online') : t('offline'));
}

export function errorLine(error) {
  return h('p', { class: 'error', role: 'alert' }, error ? error.message : '');
}

export function table(id, columns, rows, empty) {
  return h('table', { id, class: 'grid' },
    h('thead', {}, h('tr', {}, columns.map((c) => h('th', { class: c.class || null }, c.label)))),
    h('tbody', {}, rows.length ? rows : h('tr', {}, h('td', { colspan: columns.length, class: 'muted empty' }, empty))));
}

export { localTime };
